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

// A store made before the assignments still sees them: reads go to the store each time.
TEST_F(SettingsStoreTest, AssignmentsReachTheFileAtOnceAndEveryStoreSeesThem) {
    const auto other = store();
    {
        const auto settings = store();
        settings->setRefreshInterval(300);
        EXPECT_TRUE(fileContents().contains("refreshInterval=300"));
        EXPECT_FALSE(fileContents().contains("syncInterval"));
        settings->setSyncInterval(-7);
        settings->setSyncScheduledAt(1765000000.125);
        settings->setLaunchAtLogin(true);
    }
    EXPECT_EQ(other->refreshInterval(), 300);
    EXPECT_EQ(other->syncInterval(), -7);
    EXPECT_EQ(other->syncScheduledAt(), 1765000000.125);
    EXPECT_TRUE(other->launchAtLogin());
}

// A fresh store reads the defaults without writing anything; so do hand-edited values of
// the wrong type.
TEST_F(SettingsStoreTest, MissingOrWrongTypedValuesReadAsDefaults) {
    const auto expectDefaults = [](const SettingsStore &settings) {
        EXPECT_EQ(settings.refreshInterval(), 120);
        EXPECT_FALSE(settings.launchAtLogin());
        EXPECT_EQ(settings.syncInterval(), 86400);
        EXPECT_EQ(settings.syncScheduledAt(), 0.0);
    };
    expectDefaults(*store());
    EXPECT_FALSE(QFile::exists(file));
    writeFile(file, "[General]\nrefreshInterval=fast\nlaunchAtLogin=yes\n"
                    "syncInterval=1.5\nsyncScheduledAt=soon\n");
    expectDefaults(*store());

    writeFile(file, "[General]\nrefreshInterval=90\nlaunchAtLogin=true\nsyncScheduledAt=12\n");
    const auto edited = store();
    EXPECT_EQ(edited->refreshInterval(), 90);
    EXPECT_TRUE(edited->launchAtLogin());
    EXPECT_EQ(edited->syncScheduledAt(), 12.0);
}

// The daily budget: absent until set, absent again once turned off (the key goes), and a
// hand-edited value that is not a budget reads as none.
TEST_F(SettingsStoreTest, TheDailyBudgetTellsAMissingKeyFromAStoredOne) {
    const auto settings = store();
    EXPECT_FALSE(settings->dailyBudget());
    settings->setDailyBudget(DailyBudget::dollars(20));
    EXPECT_TRUE(fileContents().contains("dailyBudget=nanodollars 20000000000"));
    EXPECT_EQ(store()->dailyBudget(), DailyBudget::dollars(20));
    settings->setDailyBudget(std::nullopt);
    EXPECT_FALSE(fileContents().contains("dailyBudget"));
    EXPECT_FALSE(store()->dailyBudget());
    for (const char *text : {"dailyBudget=5", "dailyBudget=tokens", "dailyBudget=tokens 0",
                             "dailyBudget=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)"}) {
        writeFile(file, QByteArray("[General]\n") + text + "\n");
        EXPECT_FALSE(store()->dailyBudget()) << text;
    }
    writeFile(file, "[General]\ndailyBudget=tokens 50000000\n");
    EXPECT_EQ(store()->dailyBudget(), DailyBudget::tokens(50'000'000));
}

} // namespace
