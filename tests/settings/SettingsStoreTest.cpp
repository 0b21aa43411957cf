// The four preferences: defaults that are never written, write-through persistence, and
// hand-edited values of the wrong type.
#include "FakeTool.h"

#include "settings/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString file = temp.filePath("TesselMenu/TesselMenu.conf");

    std::unique_ptr<SettingsStore> store() const {
        return std::make_unique<SettingsStore>(file, temp.filePath("autostart"));
    }

    QByteArray fileContents() const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(SettingsStoreTest, FreshStoreReadsDefaultsAndWritesNothing) {
    const auto settings = store();
    EXPECT_EQ(settings->refreshInterval(), 120);
    EXPECT_FALSE(settings->launchAtLogin());
    EXPECT_EQ(settings->syncInterval(), 86400);
    EXPECT_EQ(settings->syncScheduledAt(), 0.0);
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(SettingsStoreTest, AssignmentsReachTheFileAtOnceAndSurviveANewStore) {
    {
        const auto settings = store();
        settings->setRefreshInterval(300);
        EXPECT_TRUE(fileContents().contains("refreshInterval=300"));
        EXPECT_FALSE(fileContents().contains("syncInterval"));
        settings->setSyncInterval(-7);
        settings->setSyncScheduledAt(1765000000.125);
        settings->setLaunchAtLogin(true);
    }
    const auto reopened = store();
    EXPECT_EQ(reopened->refreshInterval(), 300);
    EXPECT_EQ(reopened->syncInterval(), -7);
    EXPECT_EQ(reopened->syncScheduledAt(), 1765000000.125);
    EXPECT_TRUE(reopened->launchAtLogin());
}

TEST_F(SettingsStoreTest, ReadsGoToTheStoreEachTime) {
    const auto first = store();
    const auto second = store();
    second->setSyncInterval(3600);
    EXPECT_EQ(first->syncInterval(), 3600);
}

TEST_F(SettingsStoreTest, HandEditedValuesOfTheWrongTypeReadAsDefaults) {
    writeFile(file, "[General]\nrefreshInterval=fast\nlaunchAtLogin=yes\n"
                    "syncInterval=1.5\nsyncScheduledAt=soon\n");
    const auto settings = store();
    EXPECT_EQ(settings->refreshInterval(), 120);
    EXPECT_FALSE(settings->launchAtLogin());
    EXPECT_EQ(settings->syncInterval(), 86400);
    EXPECT_EQ(settings->syncScheduledAt(), 0.0);

    writeFile(file, "[General]\nrefreshInterval=90\nlaunchAtLogin=true\nsyncScheduledAt=12\n");
    const auto edited = store();
    EXPECT_EQ(edited->refreshInterval(), 90);
    EXPECT_TRUE(edited->launchAtLogin());
    EXPECT_EQ(edited->syncScheduledAt(), 12.0);
}

} // namespace
