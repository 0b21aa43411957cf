#pragma once

#include "state/DesktopActions.h"

#include <functional>

// The desktop actions of the running utility: the settings window as a widget, addresses in
// the default browser, and quitting the event loop. `beforeLeavingPanel` runs before a
// window or the browser comes forward, so the shell can fold its panel away.
class WidgetDesktopActions : public BasicDesktopActions {
public:
    explicit WidgetDesktopActions(std::function<void()> beforeLeavingPanel = {});

    QObject *openSettingsWindow(MenuBarViewModel &model) override;
    void raiseWindow(QObject *window) override;
    void openUrl(const QUrl &url) override;

private:
    void leavePanel();

    std::function<void()> m_beforeLeavingPanel;
};
