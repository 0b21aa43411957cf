#include "app/DesktopSession.h"

#include <QGuiApplication>

bool inWaylandSession() {
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        return true;
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland");
}
