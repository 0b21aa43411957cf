#include "ui/WindowPlacement.h"

#include <algorithm>

bool screenContains(const QRectF &rect, const QPointF &point) {
    return point.x() >= rect.left() && point.x() < rect.left() + rect.width() &&
           point.y() >= rect.top() && point.y() < rect.top() + rect.height();
}

std::optional<QPointF> centredWindowOrigin(const QPointF &pointer, const QList<ScreenArea> &screens,
                                           const std::optional<ScreenArea> &primary,
                                           const QSizeF &frameSize) {
    std::optional<ScreenArea> screen;
    for (const ScreenArea &candidate : screens) {
        if (screenContains(candidate.frame, pointer)) {
            screen = candidate;
            break;
        }
    }
    if (!screen)
        screen = primary;
    if (!screen)
        return std::nullopt;
    const QRectF &area = screen->available;
    return QPointF(area.x() + area.width() / 2 - 0.5 * frameSize.width(),
                   area.y() + area.height() / 2 - 0.5 * frameSize.height());
}

QPoint panelOrigin(const QRect &anchor, const QSize &size, const QRect &available) {
    constexpr int gap = 4;
    int x = anchor.center().x() - size.width() / 2;
    int y = anchor.center().y() < available.center().y() ? anchor.bottom() + 1 + gap
                                                         : anchor.top() - gap - size.height();
    // Kept on screen; a panel taller or wider than the area sticks to its top-left corner.
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
}
