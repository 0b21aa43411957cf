// Publishing now and switching the schedule: the busy flag, the optimistic switch and its
// revert, the stored install time and the refresh that follows success.
#include "ModelFixture.h"

namespace {

using ActionsTest = ModelTest;

TEST_F(ActionsTest, SyncPublishesThenRefreshesAndAFailureOnlyReports) {
    tool.respond("run-daily", {.standardError = "push rejected\n", .exitCode = 1});
    model->syncNow();
    waitIdle();
    EXPECT_EQ(model->lastError(), std::optional<QString>("push rejected"));
    idle(100ms);
    EXPECT_EQ(tool.runCount("collect"), 0);

    tool.respond("run-daily", {});
    model->syncNow();
    EXPECT_TRUE(model->isRefreshing());
    EXPECT_FALSE(model->lastError().has_value());
    // The refresh's reports: today's and the limits.
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("report") == 2 && !model->isRefreshing(); }));
    const auto runs = tool.argumentLists();
    EXPECT_EQ(runs[1], QStringList({"run", "daily", "--repo-dir", repoDir}));
    EXPECT_EQ(runs[2], QStringList({"collect"}));
    EXPECT_FALSE(model->lastError().has_value());
}

TEST_F(ActionsTest, ActionsWhileBusyDoNothingButTheIntervalIsStored) {
    holdBusy();
    model->syncNow();
    model->setScheduleEnabled(true);
    EXPECT_FALSE(model->scheduleInstalled());
    waitIdle();
    EXPECT_EQ(tool.runCount("run"), 0);
    EXPECT_EQ(tool.runCount("schedule"), 1); // the refresh's own status read
    EXPECT_EQ(model->lastError(), std::nullopt);

    installSchedule();
    const qsizetype runsBefore = tool.runCount("schedule");
    holdBusy();
    model->setScheduleEnabled(false);
    model->setScheduleInterval(3600);
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_EQ(model->settings().syncInterval(), 3600);
    waitIdle();
    EXPECT_EQ(tool.runCount("schedule"), runsBefore + 1); // only the refresh's status read
}

TEST_F(ActionsTest, InstallFlipsTheSwitchAtOnceAndRecordsTheTime) {
    model->settings().setSyncInterval(3600);
    scheduleStatus(true);
    model->setScheduleEnabled(true);
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_TRUE(model->isRefreshing());
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("collect") == 1 && !model->isRefreshing(); }));

    EXPECT_EQ(tool.argumentLists().front(),
              QStringList({"schedule", "install", "--repo-dir", repoDir, "--binary", tool.path(),
                           "--interval", "3600"}));
    EXPECT_DOUBLE_EQ(model->settings().syncScheduledAt(), now.toMSecsSinceEpoch() / 1000.0);
    EXPECT_EQ(model->nextSyncSummary(), std::optional<QString>("下次同步：01:00:00"));

    // Asking for the state it already has runs nothing.
    model->setScheduleEnabled(true);
    EXPECT_FALSE(model->isRefreshing());
}

TEST_F(ActionsTest, FailedInstallRevertsTheSwitchAndKeepsTheOldTime) {
    model->settings().setSyncScheduledAt(123.5);
    tool.respond("schedule-install", {.standardError = "no systemd\n", .exitCode = 1});
    model->setScheduleEnabled(true);
    EXPECT_TRUE(model->scheduleInstalled());
    waitIdle();
    EXPECT_FALSE(model->scheduleInstalled());
    EXPECT_EQ(model->lastError(), std::optional<QString>("no systemd"));
    EXPECT_EQ(model->settings().syncScheduledAt(), 123.5);
    EXPECT_EQ(tool.runCount("collect"), 0);

    // Without a schedule a new interval is only stored: no action, the error stays.
    model->setScheduleInterval(21600);
    EXPECT_EQ(model->settings().syncInterval(), 21600);
    EXPECT_FALSE(model->isRefreshing());
    EXPECT_TRUE(model->lastError().has_value());
    EXPECT_EQ(tool.runCount("schedule"), 1);
}

TEST_F(ActionsTest, RemovalClearsTheTimeAndFailedRemovalRestoresTheSwitch) {
    installSchedule();
    tool.respond("schedule-remove", {.standardError = "busy", .exitCode = 1});
    model->setScheduleEnabled(false);
    EXPECT_FALSE(model->scheduleInstalled());
    waitIdle();
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_NE(model->settings().syncScheduledAt(), 0.0);

    tool.respond("schedule-remove", {});
    scheduleStatus(false);
    model->setScheduleEnabled(false);
    ASSERT_TRUE(waitUntil([&] { return !model->isRefreshing() && tool.runCount("collect") == 2; }));
    EXPECT_EQ(model->settings().syncScheduledAt(), 0.0);
    EXPECT_FALSE(model->scheduleInstalled());
}

TEST_F(ActionsTest, IntervalChangeReinstallsAnInstalledSchedule) {
    installSchedule();
    // A failed reinstall keeps the new interval and the switch, and refreshes nothing.
    tool.respond("schedule-install", {.standardError = "denied", .exitCode = 1});
    model->setScheduleInterval(3600);
    waitIdle();
    EXPECT_EQ(model->settings().syncInterval(), 3600);
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_EQ(model->lastError(), std::optional<QString>("denied"));

    tool.respond("schedule-install", {});
    now = now.addSecs(500);
    model->setScheduleInterval(43200);
    ASSERT_TRUE(waitUntil([&] { return !model->isRefreshing() && tool.runCount("collect") == 2; }));
    EXPECT_TRUE(tool.argumentLists().contains(
        QStringList({"schedule", "install", "--repo-dir", repoDir, "--binary", tool.path(),
                     "--interval", "43200"})));
    EXPECT_DOUBLE_EQ(model->settings().syncScheduledAt(), now.toMSecsSinceEpoch() / 1000.0);
}

} // namespace
