// The menu's own CLI bridge (TesselCLI) driving the built tool, as the tray utility does.
#include "AwaitTask.h"
#include "CliFixture.h"
#include "LogFixture.h"

#include "cli/TesselCLIError.h"

namespace {

// The tool inherits the test process's environment, so this fixture sets it for the test
// and puts it back afterwards.
class BridgeTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        // No user systemd here, whatever the machine has.
        writeExecutable(root + "/bin/systemctl",
                        "#!/bin/sh\necho 'Failed to connect to bus' >&2\nexit 1\n");
        environment.set("PATH", root + "/bin:" + environment.get("PATH").value_or("/usr/bin:/bin"));
        for (const auto &[name, value] : childEnvironment())
            processEnvironment.set(name, value);
    }

    TesselCLI cli() const {
        return makeCli(QStringLiteral(TESSEL_BINARY), QString::fromStdString(repo));
    }
};

TEST_F(BridgeTest, CollectThenBothReportsDecode) {
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 100, 20) +
                             claudeLine("o", "r", "2026-03-10T10:00:00Z", 5, 0));
    writeText(rollout(), codexMeta() + codexUsage("2026-03-14T10:00:00Z", 1000));
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
    initRepositoryWithRemote();
    writeText(session(), claudeLine("m", "r", "2026-03-14T10:00:00Z", 3, 4));

    const auto daily = awaitTask(cli().runDaily());
    ASSERT_FALSE(daily.failed());
    EXPECT_EQ(git(remote, {"log", "--format=%s"}), "Token usage for 2026-03-14\n");
}

} // namespace
