#include "ui/WidgetDesktopActions.h"

#include "ui/SettingsWindow.h"

WidgetDesktopActions::WidgetDesktopActions(std::function<void()> beforeLeavingPanel)
    : m_beforeLeavingPanel(std::move(beforeLeavingPanel)) {}

void WidgetDesktopActions::leavePanel() {
    if (m_beforeLeavingPanel)
        m_beforeLeavingPanel();
}

QObject *WidgetDesktopActions::openSettingsWindow(MenuBarViewModel &model) {
    leavePanel();
    auto *window = new SettingsWindow(model);
    window->centreOnCurrentScreen();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void WidgetDesktopActions::raiseWindow(QObject *window) {
    leavePanel();
    if (auto *widget = qobject_cast<QWidget *>(window)) {
        widget->show();
        widget->raise();
        widget->activateWindow();
    }
}

void WidgetDesktopActions::openUrl(const QUrl &url) {
    leavePanel();
    BasicDesktopActions::openUrl(url);
}
