// The menu's own CLI bridge (TesselCLI) driving the built tool, as the tray utility does.
#include "AwaitTask.h"
#include "CliFixture.h"
#include "LogFixture.h"

#include "ChildProcess.h"
#include "cli/TesselCLIError.h"

#include <QtGlobal>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The tool inherits the test process's environment, so this fixture sets it for the test
// and puts it back afterwards.
class BridgeTest : public LogTest {
protected:
    std::map<std::string, std::optional<std::string>> saved;

    void SetUp() override {
        LogTest::SetUp();
        const std::string bin = temp.path() + "/bin";
        // No user systemd here, whatever the machine has.
        writeText(bin + "/systemctl", "#!/bin/sh\necho 'Failed to connect to bus' >&2\nexit 1\n");
        fs::permissions(bin + "/systemctl", fs::perms::owner_all);
        const char *path = std::getenv("PATH");
        override("PATH", bin + ":" + (path ? path : "/usr/bin:/bin"));
        override("HOME", home);
        override("TESSEL_NOW", "2026-03-14T12:00:00Z");
        override("TZ", "UTC0");
        override("XDG_CONFIG_HOME", home + "/.config");
        for (const char *name : {"CLAUDE_CONFIG_DIR", "CODEX_HOME", "OPENCODE_DB",
                                 "OPENCODE_DATA_DIR", "XDG_DATA_HOME"})
            override(name, std::nullopt);
    }

    void TearDown() override {
        for (const auto &[name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        LogTest::TearDown();
    }

    void override(const std::string &name, const std::optional<std::string> &value) {
        const char *old = std::getenv(name.c_str());
        saved.try_emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }

    TesselCLI cli() const {
        return makeCli(QStringLiteral(TESSEL_BINARY), QString::fromStdString(repo));
    }
};

TEST_F(BridgeTest, CollectThenBothReportsDecode) {
    writeText(claudeProjects + "/p/a.jsonl",
              claudeLine("m", "r", "2026-03-14T10:00:00Z", 100, 20) +
                  claudeLine("o", "r", "2026-03-10T10:00:00Z", 5, 0));
    writeText(codexHome + "/sessions/2026/03/14/rollout-a.jsonl",
              codexMeta() + codexUsage("2026-03-14T10:00:00Z", 1000));
    ASSERT_FALSE(awaitTask(cli().collect()).failed());

    const auto today = awaitTask(cli().todayReport());
    ASSERT_FALSE(today.failed());
    ASSERT_EQ(today.value->size(), 3);
    for (const TodayReportRow &row : *today.value) {
        EXPECT_EQ(row.day, QStringLiteral("2026-03-14"));
        EXPECT_EQ(row.totalTokens, row.provider == "claude"  ? 120
                                   : row.provider == "codex" ? 1000
                                                             : 0);
    }

    const auto usage = awaitTask(cli().usageReport());
    ASSERT_FALSE(usage.failed());
    ASSERT_EQ(usage.value->rows.size(), 2);
    EXPECT_EQ(usage.value->rows[0].day, QStringLiteral("2026-03-10"));
    EXPECT_EQ(usage.value->rows[1].totalTokens, 1120);
    EXPECT_EQ(usage.value->rows[1].providers.value(QStringLiteral("opencode"), -1), 0);
}

TEST_F(BridgeTest, ScheduleWithoutSystemdIsNotInstalledAndABadIntervalIsRefused) {
    const auto installed = awaitTask(cli().scheduleInstalled());
    ASSERT_FALSE(installed.failed());
    EXPECT_FALSE(*installed.value);

    const auto zero = errorAs<TesselCLIError>(awaitTask(cli().installSchedule(0)));
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(zero->kind(), TesselCLIError::Kind::commandFailed);
    EXPECT_TRUE(zero->errorDescription().contains(QStringLiteral("interval")));
    EXPECT_FALSE(zero->errorDescription().contains('\n'));

    const auto unreachable = errorAs<TesselCLIError>(awaitTask(cli().installSchedule(3600)));
    ASSERT_TRUE(unreachable.has_value());
    EXPECT_TRUE(unreachable->errorDescription().contains(QStringLiteral("systemd")));
}

TEST_F(BridgeTest, RunDailyPublishesToALocalBareRemote) {
    const std::string remote = temp.path() + "/remote.git";
    ChildOptions options;
    options.environment = {{"HOME", home}};
    ASSERT_TRUE(runChild({"git", "init", "--quiet", "--bare", remote}, options).succeeded());
    options.workingDirectory = repo;
    ASSERT_TRUE(runChild({"git", "init", "--quiet"}, options).succeeded());
    ASSERT_TRUE(runChild({"git", "remote", "add", "origin", remote}, options).succeeded());
    writeText(claudeProjects + "/p/a.jsonl", claudeLine("m", "r", "2026-03-14T10:00:00Z", 3, 4));

    const auto daily = awaitTask(cli().runDaily());
    ASSERT_FALSE(daily.failed());
    options.workingDirectory = remote;
    const ChildOutcome log = runChild({"git", "log", "--format=%s"}, options);
    EXPECT_EQ(log.standardOutput, "Token usage for 2026-03-14\n");
}

TEST_F(BridgeTest, AFailingCollectIsACommandFailureWithTheToolsReason) {
    writeText(repo + "/docs/usage.json", "{\"rows\": 5}");
    const auto failure = errorAs<TesselCLIError>(awaitTask(cli().collect()));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind(), TesselCLIError::Kind::commandFailed);
    EXPECT_TRUE(failure->errorDescription().startsWith(QStringLiteral("tessel: docs/usage.json")))
        << failure->errorDescription().toStdString();
}

} // namespace
