// The desktop actions: one settings window at a time, the profile page, quitting.
#include "ModelFixture.h"

namespace {

using WindowActionsTest = ModelTest;

TEST_F(WindowActionsTest, SettingsWindowIsBuiltOnceAndForgottenWhenClosed) {
    model->openSettings();
    model->openSettings();
    ASSERT_EQ(desktop->windows.size(), 1);
    EXPECT_EQ(desktop->raised, 1);

    delete desktop->windows.front(); // the window closes
    model->openSettings();
    EXPECT_EQ(desktop->windows.size(), 2);
    EXPECT_EQ(desktop->raised, 1);
}

TEST_F(WindowActionsTest, HeatmapOpensOnlyAConfiguredAbsoluteProfileAddressAndQuitGoesThrough) {
    makeModel({{"TesselProjectURL", "https://example.com/project"}});
    model->openHeatmap();
    for (const char *address : {"not a url at all", "relative/path", ""}) {
        makeModel({{"TesselProfileURL", address}});
        model->openHeatmap();
    }
    EXPECT_TRUE(desktop->urls.isEmpty());

    makeModel({{"TesselProfileURL", "https://github.com/someone"}});
    model->openHeatmap();
    EXPECT_EQ(desktop->urls, QList<QUrl>({QUrl("https://github.com/someone")}));
    model->quit();
    EXPECT_EQ(desktop->quits, 1);
}

} // namespace
