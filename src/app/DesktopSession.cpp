#include "app/DesktopSession.h"

#include <QGuiApplication>

#include <algorithm>

bool inWaylandSession() {
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        return true;
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland");
}

namespace {

bool desktopIs(const char *name) {
    const QList<QByteArray> desktops = qgetenv("XDG_CURRENT_DESKTOP").split(':');
    return std::any_of(desktops.begin(), desktops.end(),
                       [name](const QByteArray &desktop) { return desktop.toLower() == name; });
}

} // namespace

TrayCorner defaultTrayCorner() {
    return desktopIs("kde") ? TrayCorner::bottomRight : TrayCorner::topRight;
}

bool layerAreaExcludesBars() {
    return !desktopIs("kde");
}

bool layersStackNewerAbove() {
    return desktopIs("kde");
}

void preferXWaylandOnGnome() {
    if (desktopIs("gnome") && qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}
