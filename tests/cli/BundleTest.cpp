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

TEST_F(BundleTest, OnlyTextValuesCountAndTheyAreKeptExactlyAsWritten) {
    Bundle bundle;
    bundle.info = {{"TesselCLIPath", 42},
                   {"TesselRepoDir", true},
                   {"TesselProfileRepoDir", QJsonArray{"a"}},
                   {"TesselProfileURL", QJsonObject{{"a", "b"}}},
                   {"TesselProjectURL", QJsonValue::Null}};
    const TesselCLI ignored(bundle);
    EXPECT_EQ(ignored.cliPath(), QStringLiteral("/usr/local/bin/tessel"));
    EXPECT_EQ(ignored.repoDir(), QDir::currentPath());
    EXPECT_FALSE(ignored.profileRepoDir() || ignored.profileURLString() ||
                 ignored.projectURLString());

    bundle.info = {{"TesselRepoDir", "~/usage repo/"},
                   {"TesselProfileRepoDir", ""},
                   {"TesselProfileURL", "https://example.com/u"},
                   {"TesselProjectURL", " not a url "}};
    const TesselCLI kept(bundle);
    EXPECT_EQ(kept.repoDir(), QStringLiteral("~/usage repo/"));
    EXPECT_EQ(kept.profileRepoDir(), std::optional<QString>(QString()));
    EXPECT_EQ(kept.profileURLString(), std::optional<QString>("https://example.com/u"));
    EXPECT_EQ(kept.projectURLString(), std::optional<QString>(" not a url "));
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
