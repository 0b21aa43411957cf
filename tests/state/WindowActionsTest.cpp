// The desktop actions: one settings window at a time, the profile page, quitting.
#include "ModelFixture.h"

namespace {

class RecordingDesktop : public DesktopActions {
public:
    QList<QObject *> windows;
    int raised = 0;
    QList<QUrl> opened;
    int quits = 0;

    QObject *openSettingsWindow(MenuBarViewModel &) override {
        windows << new QObject;
        return windows.back();
    }
    void raiseWindow(QObject *) override { ++raised; }
    void openUrl(const QUrl &url) override { opened << url; }
    void quit() override { ++quits; }
};

class WindowActionsTest : public ModelTest {
protected:
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();

    void useProfile(std::optional<QString> profileURL, std::optional<QString> projectURL = {}) {
        Bundle bundle;
        bundle.info.insert("TesselCLIPath", tool.path());
        bundle.info.insert("TesselRepoDir", repoDir);
        if (profileURL)
            bundle.info.insert("TesselProfileURL", *profileURL);
        if (projectURL)
            bundle.info.insert("TesselProjectURL", *projectURL);
        model = std::make_unique<MenuBarViewModel>(TesselCLI(bundle), makeSettings(), clock());
        model->setDesktopActions(desktop);
    }
};

TEST_F(WindowActionsTest, SettingsWindowIsBuiltOnceAndForgottenWhenClosed) {
    model->setDesktopActions(desktop);
    model->openSettings();
    model->openSettings();
    ASSERT_EQ(desktop->windows.size(), 1);
    EXPECT_EQ(desktop->raised, 1);

    delete desktop->windows.front(); // the window closes
    model->openSettings();
    EXPECT_EQ(desktop->windows.size(), 2);
    EXPECT_EQ(desktop->raised, 1);
    delete desktop->windows.back();
}

TEST_F(WindowActionsTest, HeatmapOpensOnlyAConfiguredAbsoluteProfileAddress) {
    useProfile(std::nullopt, QStringLiteral("https://example.com/project"));
    model->openHeatmap();
    useProfile(QStringLiteral("not a url at all"));
    model->openHeatmap();
    useProfile(QStringLiteral("relative/path"));
    model->openHeatmap();
    useProfile(QString());
    model->openHeatmap();
    EXPECT_TRUE(desktop->opened.isEmpty());

    useProfile(QStringLiteral("https://github.com/someone"));
    model->openHeatmap();
    EXPECT_EQ(desktop->opened, QList<QUrl>({QUrl("https://github.com/someone")}));
}

TEST_F(WindowActionsTest, QuitGoesThroughTheDesktop) {
    model->setDesktopActions(desktop);
    model->quit();
    EXPECT_EQ(desktop->quits, 1);
}

} // namespace
