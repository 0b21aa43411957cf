#pragma once

#include "CliFixture.h"

#include "state/MenuBarViewModel.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

// A real state object driven by a fake tool, its own settings file and a clock the test sets.
// One "second" of the loops lasts 20 ms.
class ModelTest : public CliTest {
protected:
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(10, 0));
    std::unique_ptr<MenuBarViewModel> model;

    void SetUp() override {
        CliTest::SetUp();
        respondToday(R"({"rows":[]})");
        tool.respond("schedule-status", {.standardOutput = "loaded: false\n"});
        writeUsage(R"({"rows":[]})");
        model = makeModel();
    }

    // Lets work in flight finish and the cancelled loops wind down, so no coroutine is left
    // suspended when the test ends.
    void TearDown() override {
        if (model)
            waitUntilIdle();
        model.reset();
        idle(50ms);
    }

    Clock clock() {
        Clock c;
        c.now = [this] { return now; };
        c.second = 20ms;
        return c;
    }

    std::unique_ptr<SettingsStore> makeSettings() const {
        return std::make_unique<SettingsStore>(temp.filePath("config/TesselMenu.conf"),
                                               temp.filePath("config/autostart"));
    }

    std::unique_ptr<MenuBarViewModel> makeModel() {
        return std::make_unique<MenuBarViewModel>(cli(), makeSettings(), clock());
    }

    void respondToday(const QByteArray &json) {
        tool.respond("report-today", {.standardOutput = json});
    }

    // Runs the event loop until `condition` holds, re-checking after every change the model
    // announces (on the next turn, once the new value is stored) and every 10 ms.
    bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit = 10s) {
        if (condition())
            return true;
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (condition())
                loop.quit();
        });
        QObject::connect(model.get(), &MenuBarViewModel::objectWillChange, &loop, [&] {
            QMetaObject::invokeMethod(
                &loop, [&] { if (condition()) loop.quit(); }, Qt::QueuedConnection);
        });
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        poll.start(10);
        loop.exec();
        return condition();
    }

    bool waitUntilIdle() {
        return waitUntil([this] { return !model->isRefreshing(); });
    }

    // Refreshes and waits for the refresh to end.
    void refreshAndWait() {
        model->refresh();
        ASSERT_TRUE(waitUntilIdle());
    }

    // Lets the event loop run for `duration` (used only to show that nothing happens).
    static void idle(std::chrono::milliseconds duration) {
        QEventLoop loop;
        QTimer::singleShot(duration, &loop, &QEventLoop::quit);
        loop.exec();
    }
};
