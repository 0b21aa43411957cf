#include "ui/PanelPlacement.h"

#include <algorithm>
#include <array>

namespace {

QRect cornerAnchor(TrayCorner corner, const QRect &area) {
    // One pixel outside the area, so the panel keeps the same gap from the bar as from an
    // icon in it.
    switch (corner) {
    case TrayCorner::topLeft:
        return {area.left(), area.top() - 1, 1, 1};
    case TrayCorner::topRight:
        return {area.right(), area.top() - 1, 1, 1};
    case TrayCorner::bottomLeft:
        return {area.left(), area.bottom() + 1, 1, 1};
    case TrayCorner::bottomRight:
        break;
    }
    return {area.right(), area.bottom() + 1, 1, 1};
}

std::optional<ScreenArea> screenHolding(const QPoint &point, const QList<ScreenArea> &screens,
                                        const std::optional<ScreenArea> &primary) {
    for (const ScreenArea &screen : screens) {
        if (screenContains(screen.frame, QPointF(point)))
            return screen;
    }
    return primary;
}

} // namespace

TrayCorner trayCorner(const ScreenArea &screen) {
    const QRectF &frame = screen.frame;
    const QRectF &area = screen.available;
    enum Edge { top, bottom, left, right };
    const std::array<qreal, 4> taken{area.top() - frame.top(), frame.bottom() - area.bottom(),
                                     area.left() - frame.left(), frame.right() - area.right()};
    const auto widest = std::max_element(taken.begin(), taken.end());
    if (*widest <= 0)
        return TrayCorner::topRight;
    switch (Edge(widest - taken.begin())) {
    case top:
        return TrayCorner::topRight;
    case bottom:
    case right:
        return TrayCorner::bottomRight;
    case left:
        break;
    }
    return TrayCorner::bottomLeft;
}

QPoint PanelPlacement::origin(const QSize &size) const {
    return panelOrigin(anchor, size, available);
}

std::optional<PanelPlacement> placePanel(const TrayHints &hints, const QList<ScreenArea> &screens,
                                         const std::optional<ScreenArea> &primary) {
    std::optional<QRect> anchor;
    if (hints.iconGeometry && hints.iconGeometry->isValid())
        anchor = *hints.iconGeometry;
    else if (hints.activationPoint)
        anchor = QRect(*hints.activationPoint, QSize(1, 1));
    if (anchor) {
        const std::optional<ScreenArea> screen = screenHolding(anchor->center(), screens, primary);
        if (!screen)
            return std::nullopt;
        return PanelPlacement{*anchor, screen->available.toRect()};
    }
    if (!primary)
        return std::nullopt;
    const QRect area = primary->available.toRect();
    return PanelPlacement{cornerAnchor(trayCorner(*primary), area), area};
}
