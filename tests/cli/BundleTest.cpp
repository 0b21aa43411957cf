// Where the tool and the folders come from: the resource folder, the information
// dictionary (shipped and user overlay) and the fallbacks.
#include "CliFixture.h"
#include "ScopedEnvironment.h"

#include <QFile>
#include <QJsonArray>

namespace {

class BundleTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
};

TEST_F(BundleTest, ExecutableBundledToolWinsOtherwiseTheKeyThenTheDefault) {
    const QString resources = temp.filePath(QStringLiteral("share/tesselmenu"));
    const QString bundled = resources + QStringLiteral("/tessel");
    writeFile(bundled, "#!/bin/sh\n");
    QFile::setPermissions(bundled, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    Bundle bundle{resources, {{"TesselCLIPath", "/opt/tessel"}}};
    EXPECT_EQ(TesselCLI(bundle).cliPath(), bundled);

    QFile::setPermissions(bundled, QFileDevice::ReadOwner);
    EXPECT_EQ(TesselCLI(bundle).cliPath(), QStringLiteral("/opt/tessel"));
    bundle.info.insert("TesselCLIPath", "");
    EXPECT_EQ(TesselCLI(bundle).cliPath(), QString());
    bundle.info.remove("TesselCLIPath");
    EXPECT_EQ(TesselCLI(bundle).cliPath(), QStringLiteral("/usr/local/bin/tessel"));
}

TEST_F(BundleTest, OnlyStringValuesCount) {
    Bundle bundle;
    bundle.info.insert("TesselCLIPath", 42);
    bundle.info.insert("TesselRepoDir", true);
    bundle.info.insert("TesselProfileRepoDir", QJsonArray{"a"});
    bundle.info.insert("TesselProfileURL", QJsonObject{{"a", "b"}});
    bundle.info.insert("TesselProjectURL", QJsonValue::Null);
    const TesselCLI cli(bundle);
    EXPECT_EQ(cli.cliPath(), QStringLiteral("/usr/local/bin/tessel"));
    EXPECT_EQ(cli.repoDir(), QDir::currentPath());
    EXPECT_FALSE(cli.profileRepoDir().has_value());
    EXPECT_FALSE(cli.profileURLString().has_value());
    EXPECT_FALSE(cli.projectURLString().has_value());
}

TEST_F(BundleTest, TextsAreKeptExactlyAsWritten) {
    Bundle bundle;
    bundle.info.insert("TesselRepoDir", "~/usage repo/");
    bundle.info.insert("TesselProfileRepoDir", "");
    bundle.info.insert("TesselProfileURL", "https://example.com/u");
    bundle.info.insert("TesselProjectURL", " not a url ");
    const TesselCLI cli(bundle);
    EXPECT_EQ(cli.repoDir(), QStringLiteral("~/usage repo/"));
    EXPECT_EQ(cli.profileRepoDir(), std::optional<QString>(QString()));
    EXPECT_EQ(cli.profileURLString(), std::optional<QString>("https://example.com/u"));
    EXPECT_EQ(cli.projectURLString(), std::optional<QString>(" not a url "));
    EXPECT_EQ(TesselCLI(bundle), cli);
}

TEST_F(BundleTest, UserDictionaryOverlaysTheShippedOneKeyByKeyAndABrokenOneCountsAsEmpty) {
    ScopedEnvironment environment;
    environment.set("XDG_CONFIG_HOME", temp.filePath("config").toStdString());
    const QString user = temp.filePath("config/TesselMenu/Info.json");
    writeFile(user, R"({"TesselRepoDir":"/home/u/usage","TesselProfileURL":7})");
    const QString resources = temp.filePath("share/tesselmenu");
    writeFile(resources + "/Info.json",
              R"({"TesselRepoDir":"/shipped","TesselProjectURL":"https://shipped"})");
    Bundle bundle = Bundle::atResourceFolder(resources);
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("TesselRepoDir").toString(),
              QStringLiteral("/home/u/usage"));
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("TesselProfileURL").isDouble());
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("TesselProjectURL").toString(),
              QStringLiteral("https://shipped"));
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("Nothing").isUndefined());

    writeFile(user, R"({"TesselRepoDir": )");
    bundle = Bundle::atResourceFolder(resources);
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("TesselRepoDir").toString(),
              QStringLiteral("/shipped"));
}

} // namespace
