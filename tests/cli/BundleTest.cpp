// Where the tool and the folders come from: the resource folder, the information
// dictionary (shipped and user overlay) and the fallbacks.
#include "CliFixture.h"
#include "ScopedEnvironment.h"

#include <QFile>
#include <QJsonArray>

#include <functional>

#include <sys/stat.h>

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

// What the utility wrote as warnings while `run` ran.
QStringList warningsDuring(const std::function<void()> &run) {
    static QStringList captured;
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { captured << text; });
    run();
    qInstallMessageHandler(previous);
    return captured;
}

// Something else than a dictionary in the user's place is refused without being waited on or
// read whole, with a word saying why; the shipped dictionary still applies.
TEST_F(BundleTest, AFifoADeviceOrAnOversizedFileIsRefusedUnread) {
    ScopedEnvironment environment;
    environment.set("XDG_CONFIG_HOME", temp.filePath("config").toStdString());
    const QString user = temp.filePath("config/TesselMenu/Info.json");
    const QString resources = temp.filePath("share/tesselmenu");
    writeFile(resources + "/Info.json", R"({"TesselRepoDir":"/shipped"})");
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { ASSERT_EQ(::mkfifo(QFile::encodeName(user).constData(), 0600), 0); },
         QStringLiteral("这不是普通文件")},
        {[&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), user)); },
         QStringLiteral("这不是普通文件")},
        {[&] {
             writeFile(user, R"({"TesselRepoDir":"/big","padding":")" +
                                 QByteArray(1024 * 1024, 'x') + "\"}");
         },
         QStringLiteral("文件过大（1.0 MiB，上限 1 MiB）")},
    };
    QDir().mkpath(QFileInfo(user).absolutePath());
    for (const auto &[arrange, reason] : cases) {
        QFile::remove(user);
        arrange();
        Bundle bundle;
        const QStringList warnings =
            warningsDuring([&] { bundle = Bundle::atResourceFolder(resources); });
        EXPECT_EQ(bundle.objectForInfoDictionaryKey("TesselRepoDir").toString(),
                  QStringLiteral("/shipped"));
        ASSERT_EQ(warnings.size(), 1) << reason.toStdString();
        EXPECT_TRUE(warnings[0].contains(user) && warnings[0].contains(reason))
            << warnings[0].toStdString();
    }
}

} // namespace
