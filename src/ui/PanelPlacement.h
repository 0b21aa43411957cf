#pragma once

#include "ui/WindowPlacement.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <optional>

// Where the drop-down panel goes, as pure functions of what is known about the tray and the
// screens (Qt's global coordinates). The same rule serves a click on the icon, the tray menu's
// "打开面板" and a second launch, so the panel always opens at the tray.

// What the shell knows about the tray when the panel is asked for.
struct TrayHints {
    // The icon's rectangle, where the tray tells it (never under a status-notifier host).
    std::optional<QRect> iconGeometry;
    // The pointer at the last click on the icon or the opening of its menu, where the pointer
    // position can be trusted (not in a Wayland session).
    std::optional<QPoint> activationPoint;
};

enum class TrayCorner { topLeft, topRight, bottomLeft, bottomRight };

// The corner of `screen` where its tray most likely sits: along the edge where a bar takes the
// most room from the available area, at the trailing end of a horizontal bar and the bottom
// end of a vertical one. `unknown` where no bar takes room (Wayland tells no available area):
// top right by default, where most desktops put the tray.
TrayCorner trayCorner(const ScreenArea &screen, TrayCorner unknown = TrayCorner::topRight);

// A panel on a compositor's layer shell: the two screen edges it hangs from and its distance
// from each (the compositor adds the room its bars take).
struct LayerPlacement {
    TrayCorner corner = TrayCorner::topRight;
    int horizontalMargin = 0;
    int verticalMargin = 0;

    bool operator==(const LayerPlacement &) const = default;
};

// Hangs a panel `panelWidth` wide at `activation` (the point the tray host passed with the
// click, in global coordinates) on the screen holding it: from the nearer of its top and
// bottom edges, centred on the point across and kept `margin` inside the screen. Where the
// compositor keeps layer surfaces clear of the bars (`barsReserved`, wlroots) the panel keeps
// `margin` from that area; elsewhere (KWin, whose Plasma panel reserves no room for them) it
// keeps `margin` from the bar holding the icon, taken to be centred on the point. Without a point,
// or with one on no screen, in the `fallback` corner.
LayerPlacement layerPlacement(const std::optional<QPoint> &activation,
                              const QList<ScreenArea> &screens, TrayCorner fallback, int panelWidth,
                              int margin, bool barsReserved = true);

struct PanelPlacement {
    // What the panel hangs from: the icon's rectangle, a 1 x 1 rectangle at the activation
    // point, or one just outside the tray corner of the primary screen's available area.
    QRect anchor;
    // The available area of the screen holding the anchor; the panel stays inside it.
    QRect available;

    // The panel's top-left corner for `size`. Called again with a new size while the panel is
    // open, it keeps the panel's edge nearest the tray where it was.
    QPoint origin(const QSize &size) const;

    bool operator==(const PanelPlacement &) const = default;
};

// Chooses the anchor: the icon's geometry when known, else the activation point, else the
// tray corner of `primary` (`unknown` where no bar takes room). nullopt when there is no
// screen at all.
std::optional<PanelPlacement> placePanel(const TrayHints &hints, const QList<ScreenArea> &screens,
                                         const std::optional<ScreenArea> &primary,
                                         TrayCorner unknown = TrayCorner::topRight);

// The four rectangles (above, below, left of and right of the panel) that cover `screen` but
// for the panel's rectangle `panel` (the part of it on the screen), for what catches the clicks
// beside the open panel. A rectangle with nothing to cover comes back empty.
std::array<QRect, 4> coverAround(const QRect &panel, const QRect &screen);
