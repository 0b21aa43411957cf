// Where the tool and the folders come from: the resource folder, the information
// dictionary (shipped and user overlay) and the fallbacks.
#include "CliFixture.h"

#include <QFile>
#include <QJsonArray>

namespace {

class BundleTest : public ::testing::Test {
protected:
    QTemporaryDir temp;

    QString makeResources(bool executableTool) {
        const QString resources = temp.filePath(QStringLiteral("share/tesselmenu"));
        const QString tool = resources + QStringLiteral("/tessel");
        writeFile(tool, "#!/bin/sh\n");
        if (executableTool)
            QFile::setPermissions(tool, QFile::permissions(tool) | QFileDevice::ExeOwner);
        return resources;
    }
};

TEST_F(BundleTest, ExecutableToolInTheResourceFolderWinsOverTheConfiguredPath) {
    Bundle bundle{makeResources(true), {}};
    bundle.info.insert("TesselCLIPath", "/opt/tessel");
    EXPECT_EQ(TesselCLI(bundle).cliPath(), *bundle.resourcePath + QStringLiteral("/tessel"));
}

TEST_F(BundleTest, NonExecutableBundledToolFallsThroughToTheKeyThenTheDefault) {
    Bundle bundle{makeResources(false), {}};
    EXPECT_EQ(TesselCLI(bundle).cliPath(), QStringLiteral("/usr/local/bin/tessel"));
    bundle.info.insert("TesselCLIPath", "/opt/tessel");
    EXPECT_EQ(TesselCLI(bundle).cliPath(), QStringLiteral("/opt/tessel"));
    bundle.info.insert("TesselCLIPath", "");
    EXPECT_EQ(TesselCLI(bundle).cliPath(), QString());
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

TEST_F(BundleTest, UserDictionaryOverlaysTheShippedOneKeyByKey) {
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath("config")));
    writeFile(temp.filePath("config/TesselMenu/Info.json"),
              R"({"TesselRepoDir":"/home/u/usage","TesselProfileURL":7})");
    const Bundle bundle = Bundle::main();
    qputenv("XDG_CONFIG_HOME", previous);

    EXPECT_EQ(bundle.objectForInfoDictionaryKey("TesselRepoDir").toString(),
              QStringLiteral("/home/u/usage"));
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("TesselProfileURL").isDouble());
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("Nothing").isUndefined());
}

TEST_F(BundleTest, BrokenUserDictionaryCountsAsEmpty) {
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath("config")));
    writeFile(temp.filePath("config/TesselMenu/Info.json"), R"({"TesselRepoDir": )");
    const Bundle bundle = Bundle::main();
    qputenv("XDG_CONFIG_HOME", previous);
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("TesselRepoDir").isUndefined());
}

} // namespace
