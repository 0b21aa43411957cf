// The desktop actions: the settings window, the heatmap page in the browser, and quitting.
#include "state/MenuBarViewModel.h"

void MenuBarViewModel::setDesktopActions(std::shared_ptr<DesktopActions> desktop) {
    m_desktop = std::move(desktop);
}

void MenuBarViewModel::openSettings() {
    if (m_settingsWindow) {
        m_desktop->raiseWindow(m_settingsWindow);
        return;
    }
    // The window's destruction on close clears the guarded pointer, so the next call builds
    // a fresh window.
    m_settingsWindow = m_desktop->openSettingsWindow(*this);
}

void MenuBarViewModel::openHeatmap() {
    const std::optional<QString> address = m_cli.profileURLString();
    if (!address)
        return;
    // Only absolute addresses are handed on: a relative one would be opened as a local path.
    const QUrl url(*address, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return;
    m_desktop->openUrl(url);
}

void MenuBarViewModel::quit() {
    m_desktop->quit();
}
