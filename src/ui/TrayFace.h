#pragma once

#include <QString>

class MenuBarViewModel;

// What the tray shows of the state object.

// The tray tooltip: the menu title, and while the last refresh or action has failed, its
// error on a second line.
QString trayToolTip(const MenuBarViewModel &model);

// What the tray icon draws: today's figure in at most four characters (none for zero) and
// whether a warning mark tells of a failure.
struct TrayIconFace {
    QString figure;
    bool warning = false;

    friend bool operator==(const TrayIconFace &, const TrayIconFace &) = default;
};

TrayIconFace trayIconFace(const MenuBarViewModel &model);
