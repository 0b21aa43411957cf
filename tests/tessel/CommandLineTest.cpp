// The command line of every subcommand, parsed and as the executable answers it.
#include "LogFixture.h"

#include "CommandLine.h"
#include "Errors.h"

namespace {

using Args = std::vector<std::string>;

TEST(CommandLineParsing, EveryCommandWithItsOptions) {
    EXPECT_TRUE(std::holds_alternative<command::Collect>(parseCommandLine({"collect"})));
    EXPECT_TRUE(
        std::get<command::ReportToday>(parseCommandLine({"report", "today", "--json"})).json);
    EXPECT_FALSE(std::get<command::ReportToday>(parseCommandLine({"report", "today"})).json);

    const auto daily = std::get<command::RunDaily>(
        parseCommandLine({"run", "daily", "--repo-dir", "/r", "--profile-repo-dir", ""}));
    EXPECT_EQ(daily.repositoryFolder, "/r");
    EXPECT_EQ(daily.profileFolder, std::optional<std::string>(""));

    const auto install = std::get<command::ScheduleInstall>(
        parseCommandLine({"schedule", "install", "--repo-dir", "/r", "--binary", "/b t",
                          "--interval", "3600", "--profile-repo-dir", "/p"}));
    EXPECT_EQ(install.binary, "/b t");
    EXPECT_EQ(install.intervalSeconds, 3600);
    EXPECT_EQ(install.profileFolder, std::optional<std::string>("/p"));
    EXPECT_TRUE(
        std::holds_alternative<command::ScheduleRemove>(parseCommandLine({"schedule", "remove"})));
    EXPECT_TRUE(
        std::holds_alternative<command::ScheduleStatus>(parseCommandLine({"schedule", "status"})));
    EXPECT_EQ(
        std::get<command::Demo>(parseCommandLine({"demo", "--repo-dir", "d"})).repositoryFolder,
        "d");
}

TEST(CommandLineParsing, MistakesAreUsageErrors) {
    for (const Args &args :
         {Args{}, Args{"collecting"}, Args{"report", "yesterday"}, Args{"collect", "--fast"},
          Args{"run", "daily"}, Args{"run", "daily", "--repo-dir"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "0"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "-60"},
          Args{"schedule", "install", "--repo-dir", "/r", "--binary", "/b", "--interval", "1h"},
          Args{"schedule"}, Args{"demo"}})
        EXPECT_THROW(parseCommandLine(args), UsageError) << ::testing::PrintToString(args);
}

class ToolCommandLineTest : public LogTest {};

TEST_F(ToolCommandLineTest, UsageErrorsExitTwoWithOneUsageLine) {
    for (const Args &args : {Args{"frobnicate"}, Args{"run", "daily", "--repo-dir"},
                             Args{"schedule", "install", "--repo-dir", repo, "--binary",
                                  "/bin/true", "--interval", "-5"}}) {
        const ChildOutcome result = runTool(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_THAT(result.standardError, HasSubstr("usage: tessel"));
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1);
        EXPECT_TRUE(result.standardOutput.empty());
    }
}

TEST_F(ToolCommandLineTest, TodayReportIsOnlyJsonWithARowPerProvider) {
    const ChildOutcome empty = runTool({"report", "today", "--json"});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.standardOutput,
              R"({"rows":[{"day":"2026-03-14","provider":"codex","total_tokens":0},)"
              R"({"day":"2026-03-14","provider":"claude","total_tokens":0},)"
              R"({"day":"2026-03-14","provider":"opencode","total_tokens":0}]})"
              "\n");

    writeText(
        usageFile(),
        R"({"rows":[{"day":"2026-03-14","total_tokens":0,"providers":{"codex":9007199254740993}}]})");
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 2, 0));
    ASSERT_EQ(runTool({"collect"}).exitCode, 0);
    const ChildOutcome report = runTool({"report", "today", "--json"});
    // Past 2^53: exact integers, never floating point. (No Codex logs: the stored figure stays.)
    EXPECT_THAT(report.standardOutput,
                HasSubstr(R"("provider":"codex","total_tokens":9007199254740993})"));
    EXPECT_THAT(report.standardOutput, HasSubstr(R"("provider":"claude","total_tokens":2})"));
}

} // namespace
