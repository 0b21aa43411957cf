// Launch at login: the XDG autostart entry and the recorded outcome.
#include "FakeTool.h"

#include "settings/AutostartEntry.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class AutostartTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    SettingsStore settings{temp.filePath("TesselMenu.conf"), temp.filePath("autostart")};
    QString entry = temp.filePath("autostart/tesselmenu.desktop");
};

TEST_F(AutostartTest, EnablingWritesAnEntryThatStartsThisExecutableAndDisablingRemovesIt) {
    settings.updateLaunchAtLogin(true);
    EXPECT_TRUE(settings.launchAtLogin());
    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup("Desktop Entry");
    EXPECT_EQ(desktop.value("Type").toString(), QStringLiteral("Application"));
    EXPECT_EQ(desktop.value("Exec").toString(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(desktop.value("Path").toString(), QDir::currentPath());

    // Disabling succeeds also when there is no entry left to remove.
    for (int i = 0; i < 2; ++i) {
        settings.updateLaunchAtLogin(false);
        EXPECT_FALSE(QFile::exists(entry));
        EXPECT_FALSE(settings.launchAtLogin());
    }
}

TEST_F(AutostartTest, FailureToRemoveOrToRegisterReadsAsOff) {
    settings.updateLaunchAtLogin(true);
    // A non-empty folder in place of the entry cannot be removed as a file.
    QFile::remove(entry);
    QDir().mkpath(entry + "/inside");
    settings.updateLaunchAtLogin(false);
    EXPECT_FALSE(settings.launchAtLogin());

    // A file where the autostart folder should be: no entry can be written.
    QDir(temp.filePath("autostart")).removeRecursively();
    writeFile(temp.filePath("autostart"), "a file where the folder should be");
    settings.updateLaunchAtLogin(true);
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_TRUE(QFile::exists(temp.filePath("TesselMenu.conf")));
}

TEST(DesktopEntryExec, QuotesAndEscapesReservedCharacters) {
    EXPECT_EQ(desktopEntryExec("/usr/bin/tesselmenu"), QStringLiteral("/usr/bin/tesselmenu"));
    EXPECT_EQ(desktopEntryExec("/opt/My Apps/tesselmenu"),
              QStringLiteral("\"/opt/My Apps/tesselmenu\""));
    EXPECT_EQ(desktopEntryExec("/opt/100%/tm"), QStringLiteral("/opt/100%%/tm"));
    // Inside quotes: \" and \$ and \\ ; then the string-level escape doubles each backslash.
    EXPECT_EQ(desktopEntryExec("/a \"b\"/$c\\d"),
              QStringLiteral("\"/a \\\\\"b\\\\\"/\\\\$c\\\\\\\\d\""));
}

} // namespace
