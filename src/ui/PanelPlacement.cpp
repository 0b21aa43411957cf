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

TrayCorner trayCorner(const ScreenArea &screen, TrayCorner unknown) {
    const QRectF &frame = screen.frame;
    const QRectF &area = screen.available;
    enum Edge { top, bottom, left, right };
    const std::array<qreal, 4> taken{area.top() - frame.top(), frame.bottom() - area.bottom(),
                                     area.left() - frame.left(), frame.right() - area.right()};
    const auto widest = std::max_element(taken.begin(), taken.end());
    if (*widest <= 0)
        return unknown;
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
                                         const std::optional<ScreenArea> &primary,
                                         TrayCorner unknown) {
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
    return PanelPlacement{cornerAnchor(trayCorner(*primary, unknown), area), area};
}

LayerPlacement layerPlacement(const std::optional<QPoint> &activation,
                              const QList<ScreenArea> &screens, TrayCorner fallback, int panelWidth,
                              int margin, bool barsReserved) {
    std::optional<ScreenArea> holding;
    if (activation) {
        for (const ScreenArea &candidate : screens)
            if (screenContains(candidate.frame, QPointF(*activation)))
                holding = candidate;
    }
    if (!holding)
        return {fallback, margin, margin};
    const QRect frame = holding->frame.toRect();
    const bool top = activation->y() < frame.center().y();
    const bool left = activation->x() < frame.center().x();
    const int leftEdge =
        std::clamp(activation->x() - panelWidth / 2, frame.left() + margin,
                   std::max(frame.left() + margin, frame.right() + 1 - margin - panelWidth));
    const int fromEdge = left ? leftEdge - frame.left() : frame.right() + 1 - leftEdge - panelWidth;
    const TrayCorner corner = top ? (left ? TrayCorner::topLeft : TrayCorner::topRight)
                                  : (left ? TrayCorner::bottomLeft : TrayCorner::bottomRight);
    const int pointFromEdge =
        top ? activation->y() - frame.top() : frame.bottom() + 1 - activation->y();
    // The icon sits in the middle of its bar: the bar reaches as far again past the point.
    return {corner, fromEdge, barsReserved ? margin : 2 * pointFromEdge + margin};
}

std::array<QRect, 4> coverAround(const QRect &panel, const QRect &screen) {
    const QRect hole = panel.intersected(screen);
    if (hole.isEmpty())
        return {screen, QRect(), QRect(), QRect()};
    // QRect's right() and bottom() are the last pixel inside; these are the first outside.
    const int holeRight = hole.x() + hole.width();
    const int holeBottom = hole.y() + hole.height();
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    return {QRect(screen.x(), screen.y(), screen.width(), hole.y() - screen.y()),
            QRect(screen.x(), holeBottom, screen.width(), screenBottom - holeBottom),
            QRect(screen.x(), hole.y(), hole.x() - screen.x(), hole.height()),
            QRect(holeRight, hole.y(), screenRight - holeRight, hole.height())};
}
