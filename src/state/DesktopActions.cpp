#include "state/DesktopActions.h"

#include <QCoreApplication>
#include <QDesktopServices>

QObject *BasicDesktopActions::openSettingsWindow(MenuBarViewModel &) {
    return nullptr;
}

void BasicDesktopActions::raiseWindow(QObject *) {}

void BasicDesktopActions::openUrl(const QUrl &url) {
    QDesktopServices::openUrl(url);
}

void BasicDesktopActions::quit() {
    QCoreApplication::quit();
}
