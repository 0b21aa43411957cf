#include "commands/CommandLine.h"

#include "base/Errors.h"
#include "commands/CommandHelp.h"
#include "commands/ReportCommandLine.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace {

using Options = std::map<std::string, std::string>;

// Reads the options of `command` after its words: "--name value" pairs and flags.
Options readOptions(const std::vector<std::string> &arguments, const CommandHelp &command) {
    Options options;
    const size_t words = std::count(command.words.begin(), command.words.end(), ' ') + 1;
    for (size_t i = words; i < arguments.size(); ++i) {
        const std::string &name = arguments[i];
        const auto option =
            std::find_if(command.options.begin(), command.options.end(),
                         [&](const OptionHelp &known) { return known.name == name; });
        if (option == command.options.end())
            throw UsageError("unexpected argument '" + name + "'");
        if (option->value.empty()) {
            options[name] = "";
            continue;
        }
        if (i + 1 >= arguments.size())
            throw UsageError("missing value for " + name);
        options[name] = arguments[++i];
    }
    return options;
}

std::string required(const Options &options, const std::string &name) {
    const auto found = options.find(name);
    if (found == options.end())
        throw UsageError("missing " + name);
    return found->second;
}

std::optional<std::string> optional(const Options &options, const std::string &name) {
    const auto found = options.find(name);
    if (found == options.end())
        return std::nullopt;
    return found->second;
}

std::int64_t interval(const std::string &text) {
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size())
        throw UsageError("the interval '" + text + "' is not a whole number of seconds");
    if (seconds <= 0)
        throw UsageError("the interval must be a positive number of seconds, not " + text);
    return seconds;
}

std::string words(const std::vector<std::string> &arguments, size_t count) {
    std::string text;
    for (size_t i = 0; i < count && i < arguments.size(); ++i)
        text += (i ? " " : "") + arguments[i];
    return text;
}

} // namespace

Command parseCommandLine(const std::vector<std::string> &arguments) {
    if (arguments.empty())
        throw UsageError("no command given");
    const std::string &first = arguments[0];
    if (first == "help" || first == "--help" || first == "-h")
        return command::Help{};
    if (first == "--version") {
        if (arguments.size() > 1)
            throw UsageError("unexpected argument '" + arguments[1] + "'");
        return command::Version{};
    }
    const CommandHelp *found = findCommand(arguments);
    if (!found) {
        const bool twoWords = first == "report" || first == "run" || first == "schedule";
        throw UsageError("unknown command '" + words(arguments, twoWords ? 2 : 1) + "'");
    }
    for (const std::string &argument : arguments)
        if (argument == "--help" || argument == "-h")
            return command::CommandHelpRequest{std::string(found->words)};
    const std::string_view name = found->words;
    // Reports take days and repeated options of their own.
    if (name.starts_with("report ") && isReportPeriod(std::string(name.substr(7))))
        return parseReportCommand(arguments);
    if (name == "bar")
        return parseBarCommand(arguments);
    const Options options = readOptions(arguments, *found);
    if (name == "doctor")
        return command::Doctor{optional(options, "--repo-dir"), options.contains("--logs")};
    if (name == "collect")
        return command::Collect{};
    if (name == "report limits")
        return command::ReportLimits{options.contains("--json")};
    if (name == "statusline")
        return command::Statusline{optional(options, "--repo-dir"), options.contains("--quiet")};
    if (name == "run daily")
        return command::RunDaily{required(options, "--repo-dir"),
                                 optional(options, "--profile-repo-dir"),
                                 options.contains("--publish-projects")};
    if (name == "schedule install")
        return command::ScheduleInstall{
            required(options, "--repo-dir"), required(options, "--binary"),
            interval(required(options, "--interval")), optional(options, "--profile-repo-dir")};
    if (name == "schedule remove")
        return command::ScheduleRemove{};
    if (name == "schedule status")
        return command::ScheduleStatus{};
    if (name == "demo")
        return command::Demo{required(options, "--repo-dir")};
    throw UsageError("unknown command '" + std::string(name) + "'");
}
