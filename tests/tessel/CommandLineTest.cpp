// The command line of every subcommand, parsed and as the executable answers it.
#include "LogFixture.h"

#include "commands/CommandLine.h"

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

TEST_F(ToolCommandLineTest, MistakesExitTwoWithOneUsageLine) {
    for (const Args &args :
         {Args{}, Args{"collecting"}, Args{"report", "yesterday"}, Args{"collect", "--fast"},
          Args{"run", "daily"}, Args{"run", "daily", "--repo-dir"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "0"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "-60"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "1h"},
          Args{"schedule"}, Args{"demo"}, Args{"report", "limits", "--csv"},
          Args{"statusline", "--repo-dir"}, Args{"report", "range", "2026-03-10"},
          Args{"report", "range", "2026-03-14", "2026-03-10"},
          Args{"report", "range", "2026-02-30", "2026-03-01"}, Args{"report", "week", "--by", "day"},
          Args{"report", "month", "--json", "--by"}, Args{"bar", "--format", "json"}}) {
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
        R"({"rows":[{"day":"2026-03-14","total_tokens":0,"providers":{"codex":9007199254740993}}]})");
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 2, 0));
    runToolOk({"collect"});
    const ChildOutcome report = runTool({"report", "today", "--json"});
    // Past 2^53: exact integers, never floating point. (No Codex logs: the stored figure stays.)
    EXPECT_THAT(report.standardOutput,
                HasSubstr(R"("provider":"codex","total_tokens":9007199254740993})"));
    EXPECT_THAT(report.standardOutput, HasSubstr(R"("provider":"claude","total_tokens":2})"));
}

} // namespace
