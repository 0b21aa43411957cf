// The drop-down panel and its menu against a real state object: texts, busy state, the
// buttons and the eight menu entries with what each one calls.
#include "ModelFixture.h"

#include "ui/Colors.h"
#include "ui/HeatmapGrid.h"
#include "ui/MenuBarContentView.h"
#include "ui/OneLineLabel.h"
#include "ui/PanelAccessibility.h"
#include "ui/PanelMenu.h"
#include "ui/Spinner.h"
#include "ui/TrayFace.h"
#include "ui/WrappedLabel.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QToolButton>

namespace {

class PanelTest : public ModelTest {
protected:
    PanelTest() { second = 1s; }

    static QString text(QWidget &panel, const char *name) {
        return named<QLabel>(panel, name)->text();
    }
};

TEST_F(PanelTest, ShowingStartsTheStateOnceWhileBusyOnlySyncIsDisabledThenTheRowsFollow) {
    // Today's report gives 1,500 tokens, the usage file 2,001,500 for the week.
    writeUsage(R"({"rows": [
        {"day": "2026-12-02", "total_tokens": 2000000, "providers": {"codex": 2000000}},
        {"day": "2026-12-06", "total_tokens": 1500, "providers": {"codex": 1500}}]})");
    respondToday(R"({"rows": [{"day": "2026-12-06", "provider": "codex", "total_tokens": 1200},
                              {"day": "2026-12-06", "provider": "claude", "total_tokens": 300}]})");
    tool.respond("collect", {.delay = 1.5});
    MenuBarContentView panel(*model);
    EXPECT_EQ(text(panel, "header"), QStringLiteral("DEDAVIZUV"));
    EXPECT_EQ(text(panel, "todayValue"), QStringLiteral("暂无数据"));
    EXPECT_EQ(text(panel, "weekValue"), QStringLiteral("暂无数据"));
    EXPECT_EQ(tool.runCount(), 0) << "building the panel runs nothing";

    // Showing starts the state object on the next turn, and with it the first refresh.
    panel.show();
    EXPECT_FALSE(named<Spinner>(panel, "spinner")->isVisible()) << "not started yet";
    ASSERT_TRUE(waitUntil([&] { return model->isRefreshing(); }));
    settle();
    EXPECT_TRUE(named<Spinner>(panel, "spinner")->isVisible());
    EXPECT_FALSE(named<QToolButton>(panel, "syncButton")->isEnabled());
    EXPECT_TRUE(named<QToolButton>(panel, "settingsButton")->isEnabled());
    EXPECT_TRUE(named<QToolButton>(panel, "quitButton")->isEnabled());
    named<QToolButton>(panel, "syncButton")->click();
    named<QToolButton>(panel, "settingsButton")->click();
    named<QToolButton>(panel, "quitButton")->click();
    EXPECT_EQ(desktop->windows.size(), 1);
    EXPECT_EQ(desktop->quits, 1);
    PanelMenu menu(*model);
    for (QAction *action : menu.actions())
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();

    waitIdle();
    EXPECT_FALSE(named<Spinner>(panel, "spinner")->isVisible());
    EXPECT_TRUE(named<QToolButton>(panel, "syncButton")->isEnabled());
    EXPECT_EQ(tool.runCount("run"), 0) << "a disabled sync button ignores clicks";
    EXPECT_FALSE(named<OneLineLabel>(panel, "nextSync")->isVisible());
    EXPECT_EQ(text(panel, "todayValue"), QStringLiteral("1.5K"));
    EXPECT_EQ(text(panel, "weekValue"), QStringLiteral("2.0M"));
    EXPECT_EQ(named<HeatmapGrid>(panel, "heatmap")->days(), model->heatmapDays());
    EXPECT_EQ(panel.width(), 300);

    // Shown again: start() is called again but acts only once.
    panel.hide();
    panel.show();
    settle();
    EXPECT_FALSE(model->isRefreshing());
    EXPECT_EQ(tool.runCount("collect"), 1);

    // Idle, the button publishes; with a schedule installed the countdown appears.
    tool.respond("collect", {});
    scheduleStatus(true);
    named<QToolButton>(panel, "syncButton")->click();
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("run") == 1 && !model->isRefreshing(); }));
    ASSERT_TRUE(waitUntil([&] { return model->scheduleInstalled(); }));
    settle();
    auto *nextSync = named<OneLineLabel>(panel, "nextSync");
    EXPECT_TRUE(nextSync->isVisible());
    EXPECT_TRUE(nextSync->text().startsWith(QStringLiteral("下次同步：")))
        << nextSync->text().toStdString();
    EXPECT_LE(nextSync->width(), 300 - 32);
}

TEST_F(PanelTest, MenuHasTheEntriesInOrderAndEachCallsItsOperation) {
    makeModel({{"TesselProfileURL", "https://example.com/me"}});
    PanelMenu menu(*model);
    const QList<QAction *> actions = menu.actions();
    QStringList texts;
    for (QAction *action : actions)
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    EXPECT_EQ(texts, (QStringList{"刷新", "同步", "|", "每日自动同步到 GitHub", "|", "设置...",
                                  "查看热力图", "退出"}));
    ASSERT_EQ(actions.size(), 8);
    EXPECT_TRUE(actions[3]->isCheckable());
    EXPECT_FALSE(actions[3]->isChecked());

    actions[0]->trigger();
    waitIdle();
    EXPECT_EQ(tool.runCount("collect"), 1);

    actions[1]->trigger();
    ASSERT_TRUE(waitUntil([&] { return tool.runCount("run") == 1; }));
    waitIdle();

    // Turning the switch on installs the schedule; the mark then shows what the tool reports.
    scheduleStatus(true);
    actions[3]->trigger();
    EXPECT_TRUE(model->scheduleInstalled()) << "the switch moves at once";
    waitIdle();
    EXPECT_TRUE(actions[3]->isChecked());
    scheduleStatus(false);
    actions[3]->trigger();
    waitIdle();
    EXPECT_FALSE(model->scheduleInstalled());
    EXPECT_FALSE(actions[3]->isChecked());

    // The mark springs back when the tool fails, and stays off when a busy state refuses.
    tool.respond("schedule-install", {.standardError = "no launchd here", .exitCode = 1});
    actions[3]->trigger();
    waitIdle();
    EXPECT_FALSE(model->scheduleInstalled());
    EXPECT_FALSE(actions[3]->isChecked());
    holdBusy();
    settle(); // so only a re-read after the refusal can put the mark right
    actions[3]->trigger();
    settle();
    EXPECT_FALSE(actions[3]->isChecked());

    actions[5]->trigger();
    actions[6]->trigger();
    actions[7]->trigger();
    EXPECT_EQ(desktop->windows.size(), 1);
    EXPECT_EQ(desktop->urls, QList<QUrl>{QUrl("https://example.com/me")});
    EXPECT_EQ(desktop->quits, 1);
}

// A failure must not pass for a quiet day: the panel, the tooltip and the icon tell of it
// until a refresh succeeds.
TEST_F(PanelTest, AFailureShowsInThePanelTooltipAndIconUntilARefreshSucceeds) {
    respondToday(
        R"({"rows": [{"day": "2026-12-06", "provider": "codex", "total_tokens": 4321000}]})");
    refreshAndWait();
    MenuBarContentView panel(*model);
    // Showing the panel starts the model (from the event loop), whose first refresh must end
    // before the tool's responses are changed under it.
    panel.show();
    settle();
    waitIdle();
    auto *error = named<WrappedLabel>(panel, "error");
    EXPECT_FALSE(error->isVisible());
    EXPECT_EQ(trayToolTip(*model), QStringLiteral("热图 4.3M"));
    EXPECT_EQ(trayIconFace(*model), (TrayIconFace{"4.3M", false}));
    const int heightWithout = panel.sizeHint().height();

    // A long message with markup and line breaks: plain text, wrapped inside the panel, cut
    // after a few lines; on one line in the tooltip.
    const QByteArray message =
        "<b>collect failed</b> reading /home/someone/" + QByteArray(300, 'x') + "\nsecond line";
    tool.respond("collect", {.standardError = message, .exitCode = 1});
    refreshAndWait();
    const QString description = *model->lastError();
    ASSERT_TRUE(description.contains(QStringLiteral("<b>collect failed</b>")));
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), description);
    const QStringList lines = error->lines();
    EXPECT_EQ(lines.size(), MenuBarContentView::errorLines);
    EXPECT_TRUE(lines.front().startsWith(QStringLiteral("<b>collect failed</b>")));
    EXPECT_TRUE(lines.back().endsWith(QChar(0x2026)));
    for (const QString &line : lines)
        EXPECT_LE(error->fontMetrics().horizontalAdvance(line), 300 - 32) << line.toStdString();
    EXPECT_GT(panel.sizeHint().height(), heightWithout + 3 * error->fontMetrics().height());
    EXPECT_EQ(panel.width(), 300);
    EXPECT_EQ(error->palette().color(QPalette::WindowText), secondaryTextColor(panel.palette()));
    EXPECT_EQ(text(panel, "todayValue"), QStringLiteral("4.3M")) << "figures are kept";
    const QStringList tip = trayToolTip(*model).split(u'\n');
    ASSERT_EQ(tip.size(), 2);
    EXPECT_EQ(tip[0], QStringLiteral("热图 4.3M"));
    EXPECT_TRUE(tip[1].startsWith(QStringLiteral("<b>collect failed</b> reading")));
    EXPECT_LE(tip[1].size(), 200);
    EXPECT_EQ(trayIconFace(*model), (TrayIconFace{"4.3M", true}));

    tool.respond("collect", {});
    refreshAndWait();
    EXPECT_FALSE(error->isVisible());
    EXPECT_EQ(panel.sizeHint().height(), heightWithout);
    EXPECT_EQ(trayToolTip(*model), QStringLiteral("热图 4.3M"));
    EXPECT_FALSE(trayIconFace(*model).warning);
}

TEST_F(PanelTest, FollowsTheDesktopPaletteButKeepsTheHeatmapColours) {
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x31));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    {
        MenuBarContentView panel(*model);
        panel.resize(panel.sizeHint());
        const QImage image = panel.grab().toImage();
        EXPECT_EQ(image.pixelColor(2, 2), QColor(0x2b, 0x2d, 0x31));
        auto *grid = named<HeatmapGrid>(panel, "heatmap");
        const QPoint cell = grid->mapTo(&panel, HeatmapGrid::cellRect(0, 0).center());
        EXPECT_EQ(image.pixelColor(cell).rgb(), heatmapLevelColor(0).rgb());
    }
    QApplication::setPalette(original);
}

// What a screen reader meets: every item named (separators aside), the buttons described by
// their tooltips, the error row and the heatmap readable as text.
TEST_F(PanelTest, EveryControlIsNamedForScreenReaders) {
    installPanelAccessibility();
    tool.respond("collect", {.standardError = "disk full", .exitCode = 1});
    refreshAndWait();
    MenuBarContentView panel(*model);
    panel.show();
    settle();
    waitIdle();
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(&panel);
    ASSERT_TRUE(root);
    QList<QAccessibleInterface *> pending;
    for (int i = 0; i < root->childCount(); ++i)
        pending << root->child(i);
    QMap<QString, QAccessibleInterface *> byObject;
    while (!pending.isEmpty()) {
        QAccessibleInterface *item = pending.takeFirst();
        ASSERT_TRUE(item);
        for (int i = 0; i < item->childCount(); ++i)
            pending << item->child(i);
        if (item->role() == QAccessible::Separator || item->state().invisible)
            continue;
        EXPECT_FALSE(item->text(QAccessible::Name).isEmpty())
            << "unnamed " << item->object()->metaObject()->className() << " "
            << item->object()->objectName().toStdString();
        EXPECT_NE(item->role(), QAccessible::Client)
            << item->object()->metaObject()->className() << " is a filler";
        byObject.insert(item->object()->objectName(), item);
    }
    for (const char *button : {"settingsButton", "syncButton", "quitButton"}) {
        QAccessibleInterface *item = byObject.value(QLatin1String(button));
        ASSERT_TRUE(item) << button;
        EXPECT_EQ(item->role(), QAccessible::Button);
        EXPECT_EQ(item->text(QAccessible::Description), named<QWidget>(panel, button)->toolTip());
    }
    EXPECT_EQ(byObject.value("syncButton")->text(QAccessible::Description),
              QStringLiteral("同步到 GitHub"));
    ASSERT_TRUE(byObject.contains("error"));
    EXPECT_EQ(byObject.value("error")->role(), QAccessible::StaticText);
    EXPECT_EQ(byObject.value("error")->text(QAccessible::Name), *model->lastError());
    ASSERT_TRUE(byObject.contains("heatmap"));
    EXPECT_EQ(byObject.value("heatmap")->text(QAccessible::Name),
              HeatmapGrid::summary(model->heatmapDays()));
}

TEST_F(PanelTest, AZeroDayLeavesTheIconWithoutAFigure) {
    for (const QByteArray &today :
         {QByteArray(R"({"rows": []})"),
          QByteArray(
              R"({"rows": [{"day": "2026-12-06", "provider": "codex", "total_tokens": 0}]})")}) {
        respondToday(today);
        refreshAndWait();
        EXPECT_EQ(trayIconFace(*model), (TrayIconFace{QString(), false})) << today.toStdString();
    }
}

TEST_F(PanelTest, EveryDividerCoversDevicePixelsAtFractionalScales) {
    MenuBarContentView panel(*model);
    panel.resize(panel.sizeHint());
    const QColor background = panel.palette().color(QPalette::Window);
    const QList<QWidget *> dividers = panel.findChildren<QWidget *>(QStringLiteral("divider"));
    ASSERT_EQ(dividers.size(), 3);
    for (const qreal scale : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        QImage image((QSizeF(panel.size()) * scale).toSize(), QImage::Format_ARGB32);
        image.setDevicePixelRatio(scale);
        image.fill(background);
        panel.render(&image);
        for (QWidget *divider : dividers) {
            // The device rows the divider's one unit spans, and one either side.
            const int y = divider->mapTo(&panel, QPoint(0, 0)).y();
            int drawn = 0;
            for (int row = int(y * scale) - 1; row <= int((y + 1) * scale) + 1; ++row)
                drawn += image.pixelColor(image.width() / 2, row) != background;
            EXPECT_GE(drawn, 1) << "divider at " << y << " vanishes at scale " << scale;
            EXPECT_LE(drawn, int(scale) + 1) << "divider at " << y << " blurs at scale " << scale;
        }
    }
}

} // namespace
