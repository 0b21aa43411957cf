// The argument vector of every command and how the two answering commands read the output.
#include "AwaitTask.h"
#include "CliFixture.h"

#include "cli/TesselCLIError.h"

namespace {

using Args = QStringList;

class CommandsTest : public CliTest {
protected:
    template <typename T> Args argumentsOf(QCoro::Task<T> task) {
        EXPECT_FALSE(awaitTask(std::move(task)).failed());
        const auto lists = tool.argumentLists();
        return lists.value(lists.size() - 1);
    }
};

TEST_F(CommandsTest, FixedCommandsPassExactlyTheirWords) {
    EXPECT_EQ(argumentsOf(cli().collect()), Args({"collect"}));
    EXPECT_EQ(argumentsOf(cli().removeSchedule()), Args({"schedule", "remove"}));
    tool.respond("report-today", {.standardOutput = R"({"rows":[]})"});
    EXPECT_EQ(argumentsOf(cli().todayReport()), Args({"report", "today", "--json"}));
    EXPECT_EQ(argumentsOf(cli().scheduleInstalled()), Args({"schedule", "status"}));
}

// The run happens in the repository folder, so a relative tool path must not be looked up
// there: it is fixed once, from the folder the utility started in, for the check and the run.
TEST_F(CommandsTest, RelativeToolPathIsResolvedOnceFromTheStartingFolder) {
    const QString started = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    const TesselCLI relative = makeCli(QStringLiteral("./tool/tessel"), repoDir);
    ASSERT_TRUE(QDir::setCurrent(started));
    EXPECT_EQ(relative.cliPath(), tool.path());
    EXPECT_FALSE(awaitTask(relative.collect()).failed());
    EXPECT_EQ(tool.runCount("collect"), 1);
    // A bare name is a program on PATH.
    const QString shell = makeCli(QStringLiteral("sh"), repoDir).cliPath();
    EXPECT_TRUE(shell.startsWith(u'/') && shell.endsWith(QStringLiteral("/sh")))
        << shell.toStdString();
}

// Without a profile folder the vector ends with the interval (see the state object's tests).
TEST_F(CommandsTest, InstallSchedulePassesBinaryIntervalAndProfileLast) {
    EXPECT_EQ(argumentsOf(cli({{"TesselProfileRepoDir", "$P"}}).installSchedule(0)),
              Args({"schedule", "install", "--repo-dir", repoDir, "--binary", tool.path(),
                    "--interval", "0", "--profile-repo-dir", "$P"}));
    EXPECT_EQ(argumentsOf(cli().installSchedule(-42)).at(7), QStringLiteral("-42"));
    EXPECT_EQ(argumentsOf(cli().installSchedule(std::numeric_limits<qint64>::max())).at(7),
              QStringLiteral("9223372036854775807"));
}

// Success hands back standard output untrimmed; standard error plays no part.
TEST_F(CommandsTest, ScheduleStatusLooksForTheExactMarkerOnStandardOutput) {
    const auto status = [&](const QByteArray &output, const QByteArray &error = {}) {
        tool.respond("schedule-status", {.standardOutput = output, .standardError = error});
        return *awaitTask(cli().scheduleInstalled()).value;
    };
    EXPECT_TRUE(status("unit: tesselmenu-sync.timer\nloaded: true\nnext: tomorrow\n"));
    EXPECT_TRUE(status("  loaded: true\n", "warning: loaded: false"));
    EXPECT_FALSE(status("", "loaded: true\n"));
    EXPECT_FALSE(status("loaded: false\n"));
    EXPECT_FALSE(status("Loaded: true\n"));
    EXPECT_FALSE(status("loaded: True\n"));
    EXPECT_FALSE(status("loaded:true\n"));
    EXPECT_FALSE(status(""));
}

// The rows themselves are the decoder's (see its tests); here the output must be the document
// alone, give or take white space.
TEST_F(CommandsTest, TodayReportIsTheWholeOutputOrAnInvalidResponse) {
    tool.respond("report-today",
                 {.standardOutput = "\n  {\"rows\":[{\"day\":\"2026-12-06\","
                                    "\"provider\":\"claude\",\"total_tokens\":5}]}\n\n"});
    const auto rows = *awaitTask(cli().todayReport()).value;
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].totalTokens, 5);
    for (const QByteArray &output : {QByteArray("collecting...\n{\"rows\":[]}"),
                                     QByteArray("{\"rows\":[]} done"), QByteArray("")}) {
        tool.respond("report-today", {.standardOutput = output});
        const auto error = errorAs<TesselCLIError>(awaitTask(cli().todayReport()));
        ASSERT_TRUE(error.has_value()) << output.toStdString();
        EXPECT_EQ(error->kind(), TesselCLIError::Kind::invalidResponse);
        EXPECT_EQ(error->errorDescription(), QStringLiteral("无法解析 tessel 的输出结果"));
    }
}

// A failing tool's output is its error message, even when it would decode.
TEST_F(CommandsTest, OutputOfAFailingToolIsNotDecoded) {
    tool.respond("schedule-status", {.standardOutput = "loaded: true", .exitCode = 1});
    tool.respond("report-today", {.standardOutput = R"({"rows":[]})", .exitCode = 4});
    const auto status = errorAs<TesselCLIError>(awaitTask(cli().scheduleInstalled()));
    const auto today = errorAs<TesselCLIError>(awaitTask(cli().todayReport()));
    ASSERT_TRUE(status.has_value() && today.has_value());
    EXPECT_EQ(status->errorDescription(), QStringLiteral("loaded: true"));
    EXPECT_EQ(today->kind(), TesselCLIError::Kind::commandFailed);
    EXPECT_EQ(today->errorDescription(), QStringLiteral(R"({"rows":[]})"));
}

} // namespace
