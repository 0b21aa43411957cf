#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <optional>

// Where windows go on the desktop, as pure functions of the screens' geometry (Qt's global
// coordinates: origin top left, y pointing down).

struct ScreenArea {
    QRectF frame;     // the whole screen
    QRectF available; // without panels and docks
};

// Whether `point` lies in `rect`, counting the left and top edges as inside and the right
// and bottom edges as outside, so a point on the border between two screens belongs to one.
bool screenContains(const QRectF &rect, const QPointF &point);

// The top-left corner that centres a window whose outer frame (title bar included) is
// `frameSize` in the available area of the first screen holding `pointer`, else of
// `primary`; nullopt when there is neither, and the window system should place it. Not
// rounded and not clamped: a window larger than the area overlaps its edges evenly.
std::optional<QPointF> centredWindowOrigin(const QPointF &pointer, const QList<ScreenArea> &screens,
                                           const std::optional<ScreenArea> &primary,
                                           const QSizeF &frameSize);

// The top-left corner for a panel of `size` dropped from `anchor` (the tray icon's
// rectangle, or a 1 x 1 rectangle at the pointer): centred under the anchor when it is in
// the upper half of `available`, above it otherwise, and moved as needed to stay inside.
QPoint panelOrigin(const QRect &anchor, const QSize &size, const QRect &available);
