// The command line of every subcommand, parsed and as the executable answers it.
#include "LogFixture.h"

#include "commands/CommandLine.h"

#include <regex>
#include <set>
#include <sstream>

namespace {

using Args = std::vector<std::string>;

// The options no run of the executable in these tests shows.
TEST(CommandLineParsing, OptionalFoldersAndFlags) {
    const auto statusline = std::get<command::Statusline>(
        parseCommandLine({"statusline", "--quiet", "--repo-dir", "/r"}));
    EXPECT_TRUE(statusline.quiet);
    EXPECT_EQ(statusline.repositoryFolder, std::optional<std::string>("/r"));
    EXPECT_FALSE(std::get<command::Statusline>(parseCommandLine({"statusline"})).repositoryFolder);
    const auto daily = std::get<command::RunDaily>(
        parseCommandLine({"run", "daily", "--repo-dir", "/r", "--profile-repo-dir", ""}));
    EXPECT_EQ(daily.profileFolder, std::optional<std::string>(""));
}

class ToolCommandLineTest : public LogTest {};

// The lines of `text` from the one that is `heading` to the next one not indented.
std::vector<std::string> helpSection(const std::string &text, const std::string &heading) {
    std::istringstream lines(text);
    std::vector<std::string> section;
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (inside && !line.empty() && line[0] != ' ')
            break;
        if (inside && line.starts_with("  ") && !line.starts_with("   "))
            section.push_back(line.substr(2));
        inside = inside || line == heading;
    }
    return section;
}

// A manual page's sections as plain text, a line per request: fonts and escapes gone.
std::map<std::string, std::vector<std::string>> manSections(const std::string &page) {
    std::map<std::string, std::vector<std::string>> sections;
    std::istringstream lines(page);
    std::string current;
    for (std::string line; std::getline(lines, line);) {
        line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
        line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        if (line.starts_with(".SH ")) {
            current = line.substr(4);
            continue;
        }
        if (line.starts_with(".")) {
            const size_t space = line.find(' ');
            line = space == std::string::npos ? "" : line.substr(space + 1);
        }
        line = std::regex_replace(line, std::regex("\""), "");
        sections[current].push_back(line);
    }
    return sections;
}

std::set<std::string> optionsIn(const std::string &text) {
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        options.insert(it->str());
    return options;
}

std::string joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

// The items of a manual section: the line after each ".TP".
std::vector<std::string> manItems(const std::vector<std::string> &lines) {
    std::vector<std::string> items;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].empty() && !lines[i + 1].empty())
            items.push_back(lines[i + 1]);
    return items;
}

// The words of `line` up to its first option or placeholder.
std::string commandWords(const std::string &line) {
    std::istringstream words(line);
    std::string command;
    for (std::string word; words >> word && word[0] != '-' && word[0] != '[' && word[0] != '(';)
        command += (command.empty() ? "" : " ") + word;
    return command;
}

// The manual page and the help name the same commands, options, variables and files, both
// ways; the lists come from the help, so a new command needs only its help row and its entry.
TEST_F(ToolCommandLineTest, ManualPageAndHelpNameTheSameThings) {
    const std::string help = runToolOk({"--help"}).standardOutput;
    auto man = manSections(readText(TESSEL_MAN_PAGE));

    std::set<std::string> helpCommands, helpOptions{"--help", "--version"};
    for (const std::string &line : helpSection(help, "Commands:")) {
        const std::string command = commandWords(line.substr(std::string("tessel ").size()));
        if (command.empty())
            continue;
        helpCommands.insert(command);
        std::vector<std::string> arguments;
        std::istringstream words(command);
        for (std::string word; words >> word;)
            arguments.push_back(word);
        arguments.push_back("--help");
        const std::string own = runToolOk(arguments).standardOutput;
        EXPECT_THAT(own, ::testing::StartsWith("usage: tessel " + command)) << command;
        for (const std::string &option : optionsIn(joined(helpSection(own, "Options:"))))
            helpOptions.insert(option);
    }
    EXPECT_TRUE(helpCommands.contains("report limits"));
    EXPECT_TRUE(helpCommands.contains("statusline"));

    std::set<std::string> synopsisCommands, manCommands;
    for (const std::string &line : man["SYNOPSIS"])
        if (line.starts_with("tessel ") && !commandWords(line.substr(7)).empty())
            synopsisCommands.insert(commandWords(line.substr(7)));
    // "schedule install | remove | status" names three commands.
    for (const std::string &item : manItems(man["COMMANDS"])) {
        const size_t bar = item.find(" | ");
        const std::string first = item.substr(0, bar);
        manCommands.insert(first);
        const std::string prefix = first.substr(0, first.rfind(' ') + 1);
        for (size_t at = bar; at != std::string::npos;) {
            const size_t next = item.find(" | ", at + 3);
            manCommands.insert(prefix + item.substr(at + 3, next - at - 3));
            at = next;
        }
    }
    EXPECT_EQ(synopsisCommands, helpCommands);
    EXPECT_EQ(manCommands, helpCommands);
    EXPECT_EQ(optionsIn(joined(man["SYNOPSIS"]) + joined(man["COMMANDS"])), helpOptions);

    for (const auto &[heading, section] :
         {std::pair{"Environment:", "ENVIRONMENT"}, std::pair{"Files:", "FILES"}}) {
        const auto named = helpSection(help, heading);
        EXPECT_EQ(std::set<std::string>(named.begin(), named.end()), [&] {
            const auto items = manItems(man[section]);
            return std::set<std::string>(items.begin(), items.end());
        }()) << section;
    }
    EXPECT_THAT(joined(man["ENVIRONMENT"]), HasSubstr("XDG_STATE_HOME"));
    EXPECT_THAT(joined(man["ENVIRONMENT"]), HasSubstr("TESSEL_GIT_TIMEOUT"));
}

TEST_F(ToolCommandLineTest, MistakesExitTwoWithOneUsageLine) {
    for (const Args &args :
         {Args{},
          Args{"collecting"},
          Args{"report", "yesterday"},
          Args{"collect", "--fast"},
          Args{"run", "daily"},
          Args{"run", "daily", "--repo-dir"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "0"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "-60"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "1h"},
          Args{"schedule"},
          Args{"demo"},
          Args{"report", "limits", "--csv"},
          Args{"statusline", "--repo-dir"},
          Args{"--version", "--json"},
          Args{"report", "range", "2026-03-10"},
          Args{"report", "range", "2026-03-14", "2026-03-10"},
          Args{"report", "range", "2026-02-30", "2026-03-01"},
          Args{"report", "week", "--by", "day"},
          Args{"report", "month", "--json", "--by"},
          Args{"bar", "--format", "json"}}) {
        const ChildOutcome result = runTool(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_THAT(result.standardError, HasSubstr("usage: tessel"));
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1);
        EXPECT_TRUE(result.standardOutput.empty());
    }
}

// The status line cannot keep its snapshot where a file stands in for the state folder: it
// still prints its line, and the warning goes to standard error only.
TEST_F(ToolCommandLineTest, StatuslineWarningsGoToStandardErrorOnly) {
    writeText(home + "/.local/state", "not a folder");
    writeExecutable(root + "/feed.sh", "#!/bin/sh\nprintf '%s' '{\"rate_limits\":{\"five_hour\":"
                                       "{\"used_percentage\":5}}}' | \"$1\" statusline\n");
    const ChildOutcome fed = run({root + "/feed.sh", TESSEL_BINARY});
    EXPECT_EQ(fed.exitCode, 0) << fed.standardError;
    EXPECT_THAT(fed.standardError, ::testing::StartsWith("tessel: "));
    EXPECT_FALSE(fed.standardOutput.empty());
    EXPECT_EQ(fed.standardOutput.find("tessel:"), std::string::npos) << fed.standardOutput;
}

TEST_F(ToolCommandLineTest, TodayReportIsOnlyJsonWithARowPerProvider) {
    const ChildOutcome empty = runToolOk({"report", "today", "--json"});
    EXPECT_EQ(empty.standardOutput,
              R"({"rows":[{"day":"2026-03-14","provider":"codex","total_tokens":0},)"
              R"({"day":"2026-03-14","provider":"claude","total_tokens":0},)"
              R"({"day":"2026-03-14","provider":"opencode","total_tokens":0}]})"
              "\n");

    writeText(
        usageFile(),
        R"({"rows":[{"day":"2026-03-14","total_tokens":0,"providers":{"codex":999999999999999}}]})");
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 2, 0));
    runToolOk({"collect"});
    const ChildOutcome report = runTool({"report", "today", "--json"});
    // The largest figure a day may hold, exactly. (No Codex logs: the stored figure stays.)
    EXPECT_THAT(report.standardOutput,
                HasSubstr(R"("provider":"codex","total_tokens":999999999999999})"));
    EXPECT_THAT(report.standardOutput, HasSubstr(R"("provider":"claude","total_tokens":2})"));
}

} // namespace
