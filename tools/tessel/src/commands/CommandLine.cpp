#include "commands/CommandLine.h"

#include "base/Errors.h"
#include "commands/ReportCommandLine.h"

#include <algorithm>
#include <charconv>
#include <map>

const char *const usageLine =
    "usage: tessel collect | report today [--json] | report today|week|month [--by "
    "tool|model|project] [--daily] [--json] [--repo-dir DIR] | report range FROM TO [--by "
    "tool|model|project] [--daily] [--json] [--repo-dir DIR] | report limits [--json] | bar "
    "[--format waybar|plain] [--repo-dir DIR] | statusline [--repo-dir DIR] [--quiet] | run daily "
    "--repo-dir DIR [--profile-repo-dir DIR] [--publish-projects] | schedule install --repo-dir "
    "DIR --binary PATH --interval SECONDS "
    "[--profile-repo-dir DIR] | schedule remove | schedule status | demo --repo-dir DIR | "
    "doctor [--repo-dir DIR] [--logs] | --version | --help";

namespace {

using Options = std::map<std::string, std::string>;

// Reads "--name value" pairs (and the flags in `flags`) after the command words.
Options readOptions(const std::vector<std::string> &arguments, size_t from,
                    const std::vector<std::string> &valued,
                    const std::vector<std::string> &flags = {}) {
    Options options;
    for (size_t i = from; i < arguments.size(); ++i) {
        const std::string &name = arguments[i];
        if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
            options[name] = "";
            continue;
        }
        if (std::find(valued.begin(), valued.end(), name) == valued.end())
            throw UsageError("unexpected argument '" + name + "'");
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
    const std::string second = arguments.size() > 1 ? arguments[1] : "";
    if (first == "help" || first == "--help" || first == "-h")
        return command::Help{};
    if (first == "--version") {
        readOptions(arguments, 1, {});
        return command::Version{};
    }
    if (first == "doctor") {
        const Options options = readOptions(arguments, 1, {"--repo-dir"}, {"--logs"});
        return command::Doctor{optional(options, "--repo-dir"), options.contains("--logs")};
    }
    if (first == "collect") {
        readOptions(arguments, 1, {});
        return command::Collect{};
    }
    if (first == "report" && (isReportPeriod(second) || second == "--help" || second == "-h"))
        return parseReportCommand(arguments);
    if (first == "bar")
        return parseBarCommand(arguments);
    if (first == "report" && second == "limits") {
        const Options options = readOptions(arguments, 2, {}, {"--json"});
        return command::ReportLimits{options.contains("--json")};
    }
    if (first == "statusline") {
        const Options options = readOptions(arguments, 1, {"--repo-dir"}, {"--quiet"});
        return command::Statusline{optional(options, "--repo-dir"), options.contains("--quiet")};
    }
    if (first == "run" && second == "daily") {
        const Options options =
            readOptions(arguments, 2, {"--repo-dir", "--profile-repo-dir"}, {"--publish-projects"});
        return command::RunDaily{required(options, "--repo-dir"),
                                 optional(options, "--profile-repo-dir"),
                                 options.contains("--publish-projects")};
    }
    if (first == "schedule" && second == "install") {
        const Options options = readOptions(
            arguments, 2, {"--repo-dir", "--binary", "--interval", "--profile-repo-dir"});
        return command::ScheduleInstall{
            required(options, "--repo-dir"), required(options, "--binary"),
            interval(required(options, "--interval")), optional(options, "--profile-repo-dir")};
    }
    if (first == "schedule" && second == "remove") {
        readOptions(arguments, 2, {});
        return command::ScheduleRemove{};
    }
    if (first == "schedule" && second == "status") {
        readOptions(arguments, 2, {});
        return command::ScheduleStatus{};
    }
    if (first == "demo") {
        const Options options = readOptions(arguments, 1, {"--repo-dir"});
        return command::Demo{required(options, "--repo-dir")};
    }
    const bool twoWords = first == "report" || first == "run" || first == "schedule";
    throw UsageError("unknown command '" + words(arguments, twoWords ? 2 : 1) + "'");
}
