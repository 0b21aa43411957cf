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
    // A long interval, so that "at once" stays clear of the first pass on a loaded machine.
    model->settings().setRefreshInterval(100); // 2 s
    QElapsedTimer clock;
    clock.start();
    model->restartRefreshLoop();
    ASSERT_TRUE(waitUntil([&] { return refreshes() == 2; }));
    EXPECT_LT(clock.elapsed(), 1500);
    ASSERT_TRUE(waitUntil([&] { return refreshes() == 3; }));
    EXPECT_GE(clock.elapsed(), 1980);
    idle(200ms);
    EXPECT_EQ(refreshes(), 3);
}

TEST_F(LoopsTest, IntervalBelowOneSecondStillWaitsOneSecondAndLoopsDieWithTheModel) {
    model->settings().setRefreshInterval(0);
    QElapsedTimer clock;
    clock.start();
    model->start();
    ASSERT_TRUE(waitUntil([&] { return refreshes() >= 2; }));
    idle(300ms);
    // At most one pass per loop second (20 ms), however slow the machine: never a spin.
    EXPECT_LE(refreshes(), clock.elapsed() / 20 + 1);

    ASSERT_TRUE(waitUntil([&] { return !model->isRefreshing(); }));
    model.reset();
    const qsizetype before = refreshes();
    idle(200ms);
    EXPECT_EQ(refreshes(), before);
}

// Two loops would refresh twice per interval. The steps are half an interval apart, so two
// loops could not hide behind each other's busy flag.
TEST_F(LoopsTest, OneRefreshLoopWhateverTheOrderOfStartAndRestart) {
    enum Step { start, restart };
    const std::vector<std::vector<Step>> orders{
        {start, restart}, {restart, start}, {restart, restart, start}, {restart, start, restart}};
    for (const std::vector<Step> &order : orders) {
        makeModel();
        model->settings().setRefreshInterval(25); // 500 ms
        for (const Step step : order) {
            step == start ? model->start() : model->restartRefreshLoop();
            idle(250ms);
        }
        waitIdle();
        const qsizetype before = refreshes();
        QElapsedTimer clock;
        clock.start();
        // The loop goes on, however slow the machine...
        ASSERT_TRUE(waitUntil([&] { return refreshes() - before >= 2; }));
        idle(1000ms);
        // ...at most once per interval, where two loops would refresh about twice as often.
        EXPECT_LE(refreshes() - before, clock.elapsed() / 500 + 1)
            << order.size() << " steps, first " << order[0];
        waitIdle();
    }
}

// The countdown costs a wake-up a second only while something shows it; a new watch ticks at
// once, and every tick is announced so the panel redraws. Real seconds here.
TEST_F(LoopsTest, CountdownTicksOnlyWhileWatchedAndAnnouncesEachTick) {
    second = 1s;
    makeModel();
    model->settings().setRefreshInterval(600);
    model->settings().setSyncInterval(3600);
    scheduleStatus(true);
    model->settings().setSyncScheduledAt(now.toMSecsSinceEpoch() / 1000.0 - 10);
    model->start();
    waitIdle();
    int announced = 0;
    QObject::connect(model.get(), &MenuBarViewModel::objectWillChange, [&] { ++announced; });
    now = now.addSecs(25);
    idle(1500ms);
    EXPECT_EQ(announced, 0) << "nobody watches: no tick";
    EXPECT_EQ(model->nextSyncSummary(), std::optional<QString>("下次同步：00:59:50"));

    auto watch = model->watchCountdown();
    ASSERT_TRUE(waitUntil(
        [&] { return model->nextSyncSummary() == std::optional<QString>("下次同步：00:59:25"); },
        300ms))
        << "the first tick comes at once";
    EXPECT_EQ(announced, 1);
    now = now.addSecs(1);
    ASSERT_TRUE(waitUntil([&] { return announced == 2; }, 1500ms));
    EXPECT_EQ(model->nextSyncSummary(), std::optional<QString>("下次同步：00:59:24"));

    watch.reset();
    idle(2500ms);
    EXPECT_EQ(announced, 2) << "the pass due after the watch went sleeps instead of ticking";
}

TEST_F(LoopsTest, NeverScheduledCountdownShowsTheFullInterval) {
    model->settings().setSyncInterval(3600);
    tool.respond("schedule-status", {.standardOutput = "loaded: true"});
    refreshAndWait();
    now = now.addSecs(5); // read as the anchor, later than the countdown clock
    EXPECT_EQ(model->nextSyncSummary(), std::optional<QString>("下次同步：01:00:00"));
}

} // namespace
