// Which folder the utility works in when it is started from a menu or at login.
#include "FakeTool.h"
#include "ScopedEnvironment.h"

#include "app/UsageRepositoryChoice.h"
#include "cli/Bundle.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class UsageRepositoryChoiceTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    ScopedEnvironment environment;
    QString data = temp.filePath("data");
    QString usage = data + "/tesselmenu/usage";

    void SetUp() override { environment.set("XDG_DATA_HOME", data.toStdString()); }
};

TEST_F(UsageRepositoryChoiceTest, TheKeyOrAUsageRepositoryAsCurrentFolderKeepTheirPlace) {
    const QString home = temp.filePath("home");
    const QString repository = temp.filePath("repository");
    QDir().mkpath(home);
    writeFile(repository + "/docs/usage.json", "{\"rows\":[]}");
    struct Case {
        const char *name;
        QJsonObject info;
        QString current;
        std::optional<QString> expected;
    } cases[] = {
        {"nothing configured, home folder", {}, home, usage},
        {"the key names a repository", {{"TesselRepoDir", "/srv/usage"}}, home, std::nullopt},
        {"the key is an empty text", {{"TesselRepoDir", ""}}, home, std::nullopt},
        {"the key is not a text", {{"TesselRepoDir", 7}}, home, usage},
        {"current folder is a usage repository", {}, repository, std::nullopt},
        {"a folder with docs/ but no usage file", {}, repository + "/docs", usage},
    };
    for (const Case &c : cases) {
        Bundle bundle;
        bundle.info = c.info;
        EXPECT_EQ(usageRepositoryToEnter(bundle, c.current), c.expected) << c.name;
    }
}

TEST(ToolPathFromStartFolder, OnlyARelativePathWithAFolderIsTakenFromWhereTheUtilityStarted) {
    const struct {
        QJsonValue configured, expected;
    } cases[] = {{"bin/tessel", "/start/bin/tessel"},
                 {"../tools/tessel", "/tools/tessel"},
                 {"/usr/bin/tessel", "/usr/bin/tessel"},
                 {"tessel", "tessel"},
                 {7, 7}};
    for (const auto &c : cases) {
        Bundle bundle;
        bundle.info = {{"TesselCLIPath", c.configured}, {"TesselRepoDir", "/srv/usage"}};
        const Bundle fixed = withToolPathFrom(bundle, "/start");
        EXPECT_EQ(fixed.info.value("TesselCLIPath"), c.expected)
            << c.configured.toString().toStdString();
        EXPECT_EQ(fixed.info.value("TesselRepoDir"), "/srv/usage");
    }
}

TEST_F(UsageRepositoryChoiceTest, TheDefaultFollowsTheDataHomeOnlyWhenItIsAbsolute) {
    EXPECT_EQ(defaultUsageRepository(), usage);
    for (const char *unusable : {"", "relative/data"}) {
        environment.set("XDG_DATA_HOME", std::string(unusable));
        EXPECT_EQ(defaultUsageRepository(), QDir::homePath() + "/.local/share/tesselmenu/usage")
            << unusable;
    }
}

TEST_F(UsageRepositoryChoiceTest,
       PreparingMakesAGitRepositoryOnceKeepsWhatIsThereAndNamesAFileInTheWay) {
    prepareUsageRepository(usage);
    ASSERT_TRUE(QFileInfo(usage + "/.git").isDir());

    // A second start, or a folder the user filled, keeps its files and its history.
    writeFile(usage + "/docs/usage.json", "{\"rows\":[]}");
    writeFile(usage + "/.git/marker", "kept");
    prepareUsageRepository(usage);
    EXPECT_TRUE(QFile::exists(usage + "/docs/usage.json"));
    EXPECT_TRUE(QFile::exists(usage + "/.git/marker"));

    // A plain folder (its .git removed) becomes a repository again.
    QDir(usage + "/.git").removeRecursively();
    prepareUsageRepository(usage);
    EXPECT_TRUE(QFileInfo(usage + "/.git/HEAD").isFile());

    // A file in the way is reported with the path.
    writeFile(data + "/elsewhere", "a file where the folder should be");
    try {
        prepareUsageRepository(data + "/elsewhere/usage");
        FAIL() << "expected UsageRepositoryError";
    } catch (const UsageRepositoryError &error) {
        EXPECT_TRUE(error.description().contains(data + "/elsewhere/usage"))
            << error.description().toStdString();
    }
}

} // namespace
