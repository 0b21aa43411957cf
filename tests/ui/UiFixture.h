#pragma once

#include "CliFixture.h"

#include "settings/SettingsStore.h"
#include "state/DesktopActions.h"
#include "state/MenuBarViewModel.h"

#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>

// Records what the state object asks of the desktop instead of doing it.
class RecordingDesktop : public DesktopActions {
public:
    int settingsOpened = 0;
    int quits = 0;
    QList<QUrl> urls;

    QObject *openSettingsWindow(MenuBarViewModel &) override {
        ++settingsOpened;
        return nullptr;
    }
    void raiseWindow(QObject *) override {}
    void openUrl(const QUrl &url) override { urls << url; }
    void quit() override { ++quits; }
};

// A state object on a fake tool and a settings file of the test's own, standing on
// 14 March 2025: today's report gives 1,500 tokens, the usage file 2,001,500 for the week.
class UiTest : public CliTest {
protected:
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    std::unique_ptr<MenuBarViewModel> model;

    static QDateTime now() { return QDateTime(QDate(2025, 3, 14), QTime(12, 0)); }

    void SetUp() override {
        CliTest::SetUp();
        writeUsage(R"({"rows": [
            {"day": "2025-03-10", "total_tokens": 2000000, "providers": {"codex": 2000000}},
            {"day": "2025-03-14", "total_tokens": 1500, "providers": {"codex": 1500}}]})");
        tool.respond("report-today",
                     {R"({"rows": [{"day": "2025-03-14", "provider": "codex", "total_tokens": 1200},
                                   {"day": "2025-03-14", "provider": "claude", "total_tokens": 300}]})"});
        scheduleStatus(false);
    }

    void TearDown() override {
        if (model)
            waitIdle();
        model.reset();
        // The loops' frames end on the next turn, once they see their cancellation.
        settle();
    }

    void scheduleStatus(bool loaded) {
        tool.respond("schedule-status", {loaded ? "loaded: true\n" : "loaded: false\n"});
    }

    MenuBarViewModel &makeModel(std::optional<QString> profileURL = std::nullopt) {
        Bundle bundle;
        bundle.info.insert("TesselCLIPath", tool.path());
        bundle.info.insert("TesselRepoDir", repoDir);
        if (profileURL)
            bundle.info.insert("TesselProfileURL", *profileURL);
        Clock clock;
        clock.now = [] { return now(); };
        model = std::make_unique<MenuBarViewModel>(
            TesselCLI(bundle),
            std::make_unique<SettingsStore>(temp.filePath("settings.conf"),
                                            temp.filePath("autostart")),
            clock);
        model->setDesktopActions(desktop);
        return *model;
    }

    SettingsStore &settings() { return model->settings(); }

    // The child of `parent` with that object name; fails the test when there is none.
    template <typename T> static T *named(QWidget &parent, const char *name) {
        T *found = parent.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Runs the event loop until `done` holds; false when it did not within the time.
    static bool waitFor(const std::function<bool()> &done, int timeoutMs = 15000) {
        return QTest::qWaitFor(done, timeoutMs);
    }

    // Waits for the tool work in flight to end and for views to catch up with it.
    void waitIdle() {
        ASSERT_TRUE(waitFor([this] { return !model->isRefreshing(); }));
        settle();
    }

    // Lets queued re-reads run.
    static void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    void refreshAndWait() {
        model->refresh();
        waitIdle();
    }
};
