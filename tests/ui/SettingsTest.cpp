// The settings rows and window: loading never runs an action, a person's change runs exactly
// its row's action, enabled states follow the busy flag, one window at a time.
#include "ModelFixture.h"

#include "ui/SettingsView.h"
#include "ui/SettingsWindow.h"
#include "ui/WidgetDesktopActions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>

namespace {

class SettingsTest : public ModelTest {
protected:
    SettingsTest() { second = 1s; }

    static void choose(QComboBox *picker, const QString &label) {
        const int index = picker->findText(label);
        ASSERT_GE(index, 0) << label.toStdString();
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }

    // The open settings windows, once those closed meanwhile are deleted.
    static QList<SettingsWindow *> settingsWindows() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<SettingsWindow *> windows;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<SettingsWindow *>(widget))
                windows << window;
        return windows;
    }
};

TEST_F(SettingsTest, RowsShowTheirChoicesAndDefaultsAndFollowTheState) {
    SettingsView view(*model);
    view.show();
    settle();
    auto *refresh = named<QComboBox>(view, "refreshInterval");
    auto *sync = named<QComboBox>(view, "syncInterval");
    QStringList labels;
    for (QComboBox *picker : {refresh, sync})
        for (int i = 0; i < picker->count(); ++i)
            labels << picker->itemText(i);
    EXPECT_EQ(labels, (QStringList{"1 分钟", "2 分钟", "5 分钟", "10 分钟", "每 1 小时",
                                   "每 6 小时", "每 12 小时", "每天"}));
    EXPECT_EQ(refresh->currentText(), QStringLiteral("2 分钟"));
    EXPECT_EQ(sync->currentText(), QStringLiteral("每天"));
    EXPECT_FALSE(named<QCheckBox>(view, "launchAtLogin")->isChecked());
    EXPECT_FALSE(named<QCheckBox>(view, "autoSync")->isChecked());
    EXPECT_EQ(tool.runCount(), 0);

    // While busy the sync rows are disabled.
    holdBusy();
    settle();
    EXPECT_FALSE(named<QCheckBox>(view, "autoSync")->isEnabled());
    EXPECT_FALSE(named<QComboBox>(view, "syncInterval")->isEnabled());
    EXPECT_TRUE(named<QCheckBox>(view, "launchAtLogin")->isEnabled());
    EXPECT_TRUE(named<QComboBox>(view, "refreshInterval")->isEnabled());
    waitIdle();
    EXPECT_TRUE(named<QCheckBox>(view, "autoSync")->isEnabled());

    // Switched on elsewhere (the panel's menu): the view follows without acting itself.
    installSchedule();
    const qsizetype runs = tool.runCount();
    EXPECT_TRUE(named<QCheckBox>(view, "autoSync")->isChecked());
    settle();
    EXPECT_EQ(tool.runCount(), runs);
}

// Opening settings must not reinstall the schedule: that would restart its period, and a
// person who looks at the settings more often than the interval would never get a sync.
TEST_F(SettingsTest, LoadingStoredValuesRunsNoAction) {
    installSchedule();
    model->settings().setSyncInterval(3600);
    model->settings().setRefreshInterval(90); // edited by hand: matches no choice
    model->settings().setSyncScheduledAt(1000.5);
    const qsizetype runs = tool.runCount();

    SettingsView view(*model);
    view.show();
    settle();
    view.hide();
    view.show();
    settle();
    EXPECT_EQ(tool.runCount(), runs);
    EXPECT_FALSE(model->isRefreshing());
    EXPECT_EQ(model->settings().syncScheduledAt(), 1000.5);
    EXPECT_EQ(model->settings().refreshInterval(), 90);
    EXPECT_TRUE(named<QCheckBox>(view, "autoSync")->isChecked());
    EXPECT_EQ(named<QComboBox>(view, "syncInterval")->currentText(), QStringLiteral("每 1 小时"));
    EXPECT_EQ(named<QComboBox>(view, "refreshInterval")->currentIndex(), -1);
}

TEST_F(SettingsTest, APersonsChangeRunsItsRowsAction) {
    model->start();
    waitIdle();
    SettingsView view(*model);
    view.show();
    settle();

    // The choice already shown runs nothing: the loop would refresh at once if restarted.
    choose(named<QComboBox>(view, "refreshInterval"), QStringLiteral("2 分钟"));
    idle(100ms);
    EXPECT_EQ(tool.runCount("collect"), 1);

    choose(named<QComboBox>(view, "refreshInterval"), QStringLiteral("5 分钟"));
    EXPECT_EQ(model->settings().refreshInterval(), 300);
    // Restarting the loop ends the old one's sleep, which refreshes once.
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("collect") == 2; }));
    waitIdle();

    named<QCheckBox>(view, "launchAtLogin")->click();
    EXPECT_TRUE(model->settings().launchAtLogin());
    EXPECT_TRUE(QFileInfo::exists(model->settings().autostartEntryPath()));
    EXPECT_TRUE(named<QCheckBox>(view, "launchAtLogin")->isChecked());
    // Switched off, then on again where the entry cannot be written: the box shows the outcome.
    named<QCheckBox>(view, "launchAtLogin")->click();
    QDir(temp.filePath("config/autostart")).removeRecursively();
    writeFile(temp.filePath("config/autostart"), "a file where the folder should be");
    named<QCheckBox>(view, "launchAtLogin")->click();
    EXPECT_FALSE(model->settings().launchAtLogin());
    EXPECT_FALSE(named<QCheckBox>(view, "launchAtLogin")->isChecked());

    scheduleStatus(true);
    named<QCheckBox>(view, "autoSync")->click();
    waitIdle();
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_TRUE(named<QCheckBox>(view, "autoSync")->isChecked());

    const qsizetype scheduleRuns = tool.runCount("schedule");
    const double installedAt = model->settings().syncScheduledAt();
    now = now.addSecs(60);
    choose(named<QComboBox>(view, "syncInterval"), QStringLiteral("每天"));
    settle();
    EXPECT_FALSE(model->isRefreshing()) << "not reinstalled";
    EXPECT_EQ(tool.runCount("schedule"), scheduleRuns);
    EXPECT_EQ(model->settings().syncScheduledAt(), installedAt) << "countdown not restarted";

    choose(named<QComboBox>(view, "syncInterval"), QStringLiteral("每 6 小时"));
    waitIdle();
    EXPECT_EQ(model->settings().syncInterval(), 21600);
    EXPECT_TRUE(tool.argumentLists().contains(
        QStringList({"schedule", "install", "--repo-dir", repoDir, "--binary", tool.path(),
                     "--interval", "21600"})));
}

TEST_F(SettingsTest, OneWindowAtATimeFixedInSizeAndRebuiltAfterClosing) {
    model->setDesktopActions(std::make_shared<WidgetDesktopActions>());
    model->openSettings();
    QList<SettingsWindow *> windows = settingsWindows();
    ASSERT_EQ(windows.size(), 1);
    SettingsWindow *first = windows.front();
    EXPECT_EQ(first->size(), QSize(300, 220));
    EXPECT_EQ(first->minimumSize(), first->maximumSize());
    EXPECT_TRUE(first->isVisible());

    first->move(5, 7);
    model->openSettings();
    EXPECT_EQ(settingsWindows().size(), 1);
    EXPECT_EQ(first->pos(), QPoint(5, 7)) << "brought forward, not moved back";

    first->close();
    ASSERT_TRUE(waitUntil([&] { return settingsWindows().isEmpty(); }));
    model->openSettings();
    windows = settingsWindows();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_NE(windows.front()->pos(), QPoint(5, 7));
    windows.front()->close();
    ASSERT_TRUE(waitUntil([&] { return settingsWindows().isEmpty(); }));
}

} // namespace
