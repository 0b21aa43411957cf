#pragma once

#include "CliFixture.h"

#include "state/DesktopActions.h"
#include "state/MenuBarViewModel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

// Records what the state object asks of the desktop instead of doing it. Each settings
// window is a plain object it owns; deleting one stands for the person closing it.
class RecordingDesktop : public DesktopActions {
public:
    QObject owner;
    QList<QObject *> windows;
    int raised = 0;
    QList<QUrl> urls;
    int quits = 0;

    QObject *openSettingsWindow(MenuBarViewModel &) override {
        windows << new QObject(&owner);
        return windows.back();
    }
    void raiseWindow(QObject *) override { ++raised; }
    void openUrl(const QUrl &url) override { urls << url; }
    void quit() override { ++quits; }
};

// A real state object on a recording desktop, driven by a fake tool, with its own settings
// file and a clock the test sets. Unless a suite changes `second`, one loop "second" lasts
// 20 ms.
class ModelTest : public CliTest {
protected:
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(10, 0));
    std::chrono::milliseconds second = 20ms;
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    std::unique_ptr<MenuBarViewModel> model;

    void SetUp() override {
        CliTest::SetUp();
        respondToday(R"({"rows":[]})");
        scheduleStatus(false);
        writeUsage(R"({"rows":[]})");
        makeModel();
    }

    // Lets work in flight finish and the cancelled loops wind down, so no coroutine is left
    // suspended when the test ends. Nothing else runs between the wait and the reset, so no
    // loop can start new work in between.
    void TearDown() override {
        EXPECT_TRUE(!model || waitUntil([this] {
            return !model->isRefreshing() && !model->isReadingBreakdown();
        }));
        model.reset();
        idle(50ms);
    }

    // Replaces the state object with a new one whose information dictionary also holds `info`.
    void makeModel(const QJsonObject &info = {}) {
        model = std::make_unique<MenuBarViewModel>(
            cli(info),
            std::make_unique<SettingsStore>(temp.filePath("config/TesselMenu.conf"),
                                            temp.filePath("config/autostart")),
            Clock{[this] { return now; }, second});
        model->setDesktopActions(desktop);
    }

    void respondToday(const QByteArray &json) {
        tool.respond("report-today", {.standardOutput = json});
    }

    void scheduleStatus(bool loaded) {
        tool.respond("schedule-status", {loaded ? "loaded: true\n" : "loaded: false\n"});
    }

    // Installs the schedule through the state object, as the panel's switch would.
    void installSchedule() {
        scheduleStatus(true);
        model->setScheduleEnabled(true);
        waitIdle();
        ASSERT_TRUE(model->scheduleInstalled());
    }

    // Starts a refresh whose collect takes half a second.
    void holdBusy() {
        tool.respond("collect", {.delay = 0.5});
        model->refresh();
        ASSERT_TRUE(model->isRefreshing());
    }

    // Runs the event loop until `condition` holds, re-checking after every change the model
    // announces (on the next turn, once the new value is stored) and every 10 ms.
    bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit = 10s) {
        if (condition())
            return true;
        QEventLoop loop;
        QTimer poll;
        const auto check = [&] {
            if (condition())
                loop.quit();
        };
        QObject::connect(&poll, &QTimer::timeout, &loop, check);
        QObject::connect(model.get(), &MenuBarViewModel::objectWillChange, &loop,
                         [&] { QMetaObject::invokeMethod(&loop, check, Qt::QueuedConnection); });
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        poll.start(10);
        loop.exec();
        return condition();
    }

    // Waits for the tool work in flight to end and for views to catch up with it.
    void waitIdle() {
        ASSERT_TRUE(waitUntil([this] { return !model->isRefreshing(); }));
        settle();
    }

    void refreshAndWait() {
        model->refresh();
        waitIdle();
    }

    // Lets queued re-reads run.
    static void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    // Lets the event loop run for `duration` (used only to show that nothing happens).
    static void idle(std::chrono::milliseconds duration) {
        QEventLoop loop;
        QTimer::singleShot(duration, &loop, &QEventLoop::quit);
        loop.exec();
    }

    // The child of `parent` with that object name; fails the test when there is none.
    template <typename T> static T *named(QObject &parent, const char *name) {
        T *found = parent.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};
