#include "ui/DesktopScreens.h"

#include <QGuiApplication>
#include <QScreen>

ScreenArea areaOf(const QScreen &screen) {
    return {QRectF(screen.geometry()), QRectF(screen.availableGeometry())};
}

QList<ScreenArea> desktopScreenAreas() {
    QList<ScreenArea> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << areaOf(*screen);
    return screens;
}

std::optional<ScreenArea> primaryScreenArea() {
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return areaOf(*screen);
    return std::nullopt;
}
