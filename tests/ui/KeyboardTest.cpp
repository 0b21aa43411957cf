// The panel and the settings window from the keyboard alone: Tab walks the buttons with a
// visible mark, Enter and Space click, the menu key and Shift+F10 open the menu, Escape closes
// the settings window.
#include "ModelFixture.h"

#include "ui/MenuBarContentView.h"
#include "ui/PanelButton.h"
#include "ui/PanelMenu.h"
#include "ui/SettingsWindow.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace {

class KeyboardTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        panel = std::make_unique<MenuBarContentView>(*model);
        panel->show();
        panel->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        settle(); // the refresh that showing starts, from the event loop
        waitIdle();
    }

    void TearDown() override {
        panel.reset();
        ModelTest::TearDown();
    }

    QString focused() const {
        QWidget *widget = QApplication::focusWidget();
        return widget ? widget->objectName() : QStringLiteral("(none)");
    }

    // Whether `press` opens the panel menu (closed again at once).
    static bool opensPanelMenu(const std::function<void()> &press) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            QWidget *popup = QApplication::activePopupWidget();
            opened = qobject_cast<PanelMenu *>(popup) != nullptr;
            if (popup)
                popup->close();
        });
        press();
        settle();
        return opened;
    }

    std::unique_ptr<MenuBarContentView> panel;
};

TEST_F(KeyboardTest, TabReachesEveryButtonInOrderWithAVisibleMark) {
    if (QWidget *first = QApplication::focusWidget())
        first->clearFocus();
    QStringList order;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : panel.get(),
                        Qt::Key_Tab);
        order << focused();
    }
    EXPECT_EQ(order, (QStringList{"settingsButton", "syncButton", "quitButton", "settingsButton"}));

    // The ring is drawn only around the button holding the keyboard focus.
    auto *settings = named<PanelButton>(*panel, "settingsButton");
    auto *quit = named<PanelButton>(*panel, "quitButton");
    EXPECT_TRUE(settings->showsFocusMark());
    const QImage marked = settings->grab().toImage();
    QTest::keyClick(settings, Qt::Key_Backtab);
    EXPECT_EQ(focused(), QStringLiteral("quitButton"));
    EXPECT_FALSE(settings->showsFocusMark());
    EXPECT_NE(settings->grab().toImage(), marked);
    EXPECT_EQ(quit->grab().toImage().pixelColor(0, quit->height() / 2),
              quit->palette().color(QPalette::Highlight));
}

TEST_F(KeyboardTest, EnterAndSpaceClickTheFocusedButton) {
    const struct {
        const char *button;
        Qt::Key key;
        int windows, quits;
    } cases[] = {
        {"settingsButton", Qt::Key_Return, 1, 0},
        {"quitButton", Qt::Key_Enter, 1, 1},
        {"quitButton", Qt::Key_Space, 1, 2},
        {"quitButton", Qt::Key_Return, 1, 3},
    };
    for (const auto &c : cases) {
        auto *button = named<PanelButton>(*panel, c.button);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, c.key);
        EXPECT_EQ(desktop->windows.size(), c.windows) << c.button << " " << c.key;
        EXPECT_EQ(desktop->quits, c.quits) << c.button << " " << c.key;
    }
}

TEST_F(KeyboardTest, MenuKeyAndShiftF10OpenThePanelMenu) {
    auto *sync = named<PanelButton>(*panel, "syncButton");
    sync->setFocus(Qt::TabFocusReason);
    const struct {
        QWidget *target;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool opens;
    } cases[] = {
        {sync, Qt::Key_Menu, Qt::NoModifier, true},
        {sync, Qt::Key_F10, Qt::ShiftModifier, true},
        {panel.get(), Qt::Key_Menu, Qt::NoModifier, true},
        {sync, Qt::Key_F10, Qt::NoModifier, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(opensPanelMenu([&] { QTest::keyClick(c.target, c.key, c.modifiers); }), c.opens)
            << c.key;
    }
    EXPECT_EQ(tool.runCount("collect"), 1) << "opening the menu runs nothing";
}

TEST_F(KeyboardTest, EscapeClosesTheSettingsWindow) {
    QPointer<SettingsWindow> window = new SettingsWindow(*model);
    window->show();
    QTest::keyClick(window, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_TRUE(window->isVisible()) << "only a plain Escape closes it";
    QTest::keyClick(window, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

// Space on the sync switch makes the state object busy, which greys the switch: the focus must
// stay there, not move on to launch at login, where the next Space would switch it.
TEST_F(KeyboardTest, ASwitchToggledFromTheKeyboardKeepsTheFocus) {
    tool.respond("schedule-install", {.delay = 0.5});
    scheduleStatus(true);
    QPointer<SettingsWindow> window = new SettingsWindow(*model);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto *autoSync = named<QWidget>(*window, "autoSync");
    autoSync->setFocus(Qt::TabFocusReason);
    QTest::keyClick(autoSync, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return !autoSync->isEnabled(); }));
    EXPECT_NE(focused(), QStringLiteral("launchAtLogin"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(model->settings().startsAtLogin()) << "the second Space reached launch at login";
    waitIdle();
    EXPECT_TRUE(model->scheduleInstalled());
    EXPECT_EQ(focused(), QStringLiteral("autoSync"));
    delete window;
}

} // namespace
