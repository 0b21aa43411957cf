// start() and the background loops, with one loop "second" lasting 20 ms.
#include "ModelFixture.h"

#include <QElapsedTimer>

namespace {

class LoopsTest : public ModelTest {
protected:
    qsizetype refreshes() const { return tool.runCount("collect"); }
};

TEST_F(LoopsTest, RefreshLoopRunsOncePerIntervalAfterStart) {
    model->settings().setRefreshInterval(10); // 200 ms
    QElapsedTimer clock;
    clock.start();
    model->start();
    ASSERT_TRUE(waitUntil([&] { return refreshes() >= 3; }));
    // start's own refresh, then one at about 200 ms and one at about 400 ms.
    EXPECT_GE(clock.elapsed(), 380);
    EXPECT_EQ(refreshes(), 3);
}

TEST_F(LoopsTest, StartActsOnceAndAChangedSettingNeedsARestartToTakeEffect) {
    model->settings().setRefreshInterval(600);
    model->start();
    model->start();
    EXPECT_TRUE(model->isRefreshing());
    waitIdle();
    // Neither the changed setting nor another start starts a loop.
    model->settings().setRefreshInterval(1);
    model->start();
    idle(200ms);
    EXPECT_EQ(refreshes(), 1);

    // The restart refreshes at once, then once per new interval, with only one loop left.
    model->settings().setRefreshInterval(25); // 500 ms
    QElapsedTimer clock;
    clock.start();
    model->restartRefreshLoop();
    ASSERT_TRUE(waitUntil([&] { return refreshes() == 2; }));
    EXPECT_LT(clock.elapsed(), 450);
    ASSERT_TRUE(waitUntil([&] { return refreshes() == 3; }));
    EXPECT_GE(clock.elapsed(), 480);
    idle(200ms);
    EXPECT_EQ(refreshes(), 3);
}

TEST_F(LoopsTest, IntervalBelowOneSecondStillWaitsOneSecondAndLoopsDieWithTheModel) {
    model->settings().setRefreshInterval(0);
    model->start();
    idle(300ms); // fifteen loop seconds: at most one pass each, never a spin
    EXPECT_GE(refreshes(), 2);
    EXPECT_LE(refreshes(), 16);

    ASSERT_TRUE(waitUntil([&] { return !model->isRefreshing(); }));
    model.reset();
    const qsizetype before = refreshes();
    idle(200ms);
    EXPECT_EQ(refreshes(), before);
}

TEST_F(LoopsTest, BusyPassesAreSkipped) {
    model->settings().setRefreshInterval(1);
    tool.respond("collect", {.delay = 0.5});
    model->start();
    idle(300ms);
    EXPECT_EQ(refreshes(), 1);
}

TEST_F(LoopsTest, CountdownTicksOncePerSecondAndDrivesTheSyncText) {
    model->settings().setRefreshInterval(600);
    model->settings().setSyncInterval(3600);
    tool.respond("schedule-status", {.standardOutput = "loaded: true"});
    model->settings().setSyncScheduledAt(now.toMSecsSinceEpoch() / 1000.0 - 10);
    model->start();
    waitIdle();
    // The countdown reads its clock only when it ticks.
    now = now.addSecs(25);
    ASSERT_TRUE(waitUntil(
        [&] { return model->nextSyncSummary() == std::optional<QString>("下次同步：00:59:25"); },
        500ms));
}

TEST_F(LoopsTest, NeverScheduledCountdownShowsTheFullInterval) {
    model->settings().setSyncInterval(3600);
    tool.respond("schedule-status", {.standardOutput = "loaded: true"});
    refreshAndWait();
    now = now.addSecs(5); // read as the anchor, later than the countdown clock
    EXPECT_EQ(model->nextSyncSummary(), std::optional<QString>("下次同步：01:00:00"));
}

} // namespace
