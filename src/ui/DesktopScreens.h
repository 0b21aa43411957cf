#pragma once

#include "ui/WindowPlacement.h"

#include <QList>

#include <optional>

class QScreen;

// The desktop's screens as the placement functions take them.
ScreenArea areaOf(const QScreen &screen);
QList<ScreenArea> desktopScreenAreas();
std::optional<ScreenArea> primaryScreenArea();
