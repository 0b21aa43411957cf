// Launch at login: the XDG autostart entry and the recorded outcome.
#include "FakeTool.h"
#include "ScopedEnvironment.h"

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

// An executable file named tesselmenu at `path`.
void makeProgram(const QString &path) {
    writeFile(path, "#!/bin/sh\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

TEST_F(AutostartTest, TheEntryNamesTheProgramAsTheDesktopFindsItAndKnowsWhenItNoLongerStartsIt) {
    ScopedEnvironment environment;
    const QString bin = temp.filePath("bin"), build = temp.filePath("build/bin");
    makeProgram(bin + "/tesselmenu");
    makeProgram(build + "/tesselmenu");
    QDir().mkpath(temp.filePath("linked"));
    QFile::link(bin + "/tesselmenu", temp.filePath("linked/tesselmenu"));
    struct Case {
        const char *name;
        QString path;
        QString executable;
        QString command;
    } cases[] = {
        {"the one on PATH", bin, bin + "/tesselmenu", "tesselmenu"},
        {"on PATH through a link", temp.filePath("linked"), bin + "/tesselmenu", "tesselmenu"},
        {"another one is on PATH", bin, build + "/tesselmenu", build + "/tesselmenu"},
        {"none on PATH", temp.filePath("empty"), build + "/tesselmenu", build + "/tesselmenu"},
    };
    for (const Case &c : cases) {
        environment.set("PATH", c.path.toStdString());
        EXPECT_EQ(autostartCommand(c.executable), c.command) << c.name;
        writeAutostartEntry(entry, autostartCommand(c.executable), temp.filePath("usage"));
        EXPECT_EQ(readDesktopEntryValue(entry, "Exec"), c.command) << c.name;
        EXPECT_EQ(readDesktopEntryValue(entry, "Path"), temp.filePath("usage")) << c.name;
        EXPECT_TRUE(autostartEntryStarts(entry, c.executable)) << c.name;
    }

    // The entry that ran the build's copy no longer starts it once that copy is gone; a bare
    // name stops starting this executable once PATH finds another one first.
    QFile::remove(build + "/tesselmenu");
    EXPECT_FALSE(autostartEntryStarts(entry, build + "/tesselmenu"));
    writeAutostartEntry(entry, "tesselmenu", temp.filePath("usage"));
    environment.set("PATH", (build + ":" + bin).toStdString());
    makeProgram(build + "/tesselmenu");
    EXPECT_FALSE(autostartEntryStarts(entry, bin + "/tesselmenu"));
    EXPECT_FALSE(autostartEntryStarts(temp.filePath("no-such.desktop"), bin + "/tesselmenu"));
}

// The switch reads on only while the entry starts this executable.
TEST_F(AutostartTest, EnablingWritesAnEntryThatStartsThisExecutableAndDisablingRemovesIt) {
    settings.updateLaunchAtLogin(true);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_TRUE(settings.startsAtLogin());
    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup("Desktop Entry");
    EXPECT_EQ(desktop.value("Exec").toString(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(desktop.value("Path").toString(), QDir::currentPath());

    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    const struct {
        const char *name;
        QByteArray contents;
    } broken[] = {
        {"switched off by the desktop", written + "Hidden=true\n"},
        {"disabled by the desktop", QByteArray(written).replace("enabled=true", "enabled=false")},
        {"runs another program", QByteArray(written).replace("Exec=", "Exec=/bin/true #")},
    };
    for (const auto &c : broken) {
        writeFile(entry, c.contents);
        EXPECT_TRUE(settings.launchAtLogin()) << c.name;
        EXPECT_FALSE(settings.startsAtLogin()) << c.name;
    }

    // Disabling succeeds also when there is no entry left to remove.
    for (int i = 0; i < 2; ++i) {
        settings.updateLaunchAtLogin(false);
        EXPECT_FALSE(QFile::exists(entry));
        EXPECT_FALSE(settings.launchAtLogin());
        EXPECT_FALSE(settings.startsAtLogin());
    }
}

TEST_F(AutostartTest, LineBreaksAndSpacesInPathsSurviveTheRoundTrip) {
    const QString folder = temp.filePath("usage\nExec=/bin/false");
    const QString program = temp.filePath("odd dir\nline/tesselmenu");
    makeProgram(program);
    writeAutostartEntry(entry, program, folder);
    EXPECT_EQ(readDesktopEntryValue(entry, "Path"), folder);
    EXPECT_TRUE(autostartEntryStarts(entry, program));
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count('\n'), 8) << "one line per key, none broken";
}

} // namespace
