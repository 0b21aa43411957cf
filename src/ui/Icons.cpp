#include "ui/Icons.h"

#include "ui/Colors.h"
#include "ui/GitHubMark.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

QPainterPath barChartPath(const QRectF &r) {
    const qreal unit = std::min(r.width(), r.height());
    const QRectF box(r.center().x() - unit / 2, r.center().y() - unit / 2, unit, unit);
    QPainterPath path;
    const qreal axis = unit * 0.1;
    const qreal bar = unit * 0.2;
    const qreal gap = (unit * 0.84 - 3 * bar) / 2;
    const qreal floor = box.bottom() - unit * 0.08 - axis - unit * 0.06;
    const qreal heights[] = {0.42, 0.74, 0.56};
    qreal x = box.left() + unit * 0.08;
    for (qreal height : heights) {
        const qreal h = unit * height;
        path.addRoundedRect(QRectF(x, floor - h, bar, h), bar * 0.2, bar * 0.2);
        x += bar + gap;
    }
    path.addRoundedRect(QRectF(box.left(), box.bottom() - unit * 0.08 - axis, unit, axis), axis / 2,
                        axis / 2);
    return path;
}

QPainterPath gearPath(const QRectF &r) {
    const qreal outer = std::min(r.width(), r.height()) / 2;
    const qreal inner = outer * 0.74;
    const QPointF c = r.center();
    constexpr int teeth = 8;
    QPolygonF rim;
    for (int i = 0; i < teeth; ++i) {
        const qreal base = 2 * M_PI * i / teeth;
        const qreal half = M_PI / teeth;
        // Each tooth is slightly narrower at its tip than at its root.
        const qreal angles[] = {base - half * 0.62, base - half * 0.38, base + half * 0.38,
                                base + half * 0.62};
        const qreal radii[] = {inner, outer, outer, inner};
        for (int k = 0; k < 4; ++k)
            rim << c + QPointF(std::cos(angles[k]), std::sin(angles[k])) * radii[k];
    }
    QPainterPath path;
    path.addPolygon(rim);
    path.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, outer * 0.3, outer * 0.3);
    return path.subtracted(hole);
}

void withPen(QPainter &painter, const QColor &color, qreal width,
             const std::function<void()> &draw) {
    painter.save();
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    draw();
    painter.restore();
}

void paintPower(QPainter &painter, const QRectF &r, const QColor &color) {
    const qreal unit = std::min(r.width(), r.height());
    const qreal width = unit * 0.13;
    const QPointF c = r.center();
    const qreal radius = unit / 2 - width / 2;
    const QRectF ring(c.x() - radius, c.y() - radius + width * 0.3, 2 * radius, 2 * radius);
    withPen(painter, color, width, [&] {
        // Qt angles are in sixteenths of a degree, counter-clockwise from three o'clock; the
        // gap of the ring is at the top, where the stem stands.
        painter.drawArc(ring, 125 * 16, -250 * 16);
        painter.drawLine(QPointF(c.x(), r.top() + width / 2), QPointF(c.x(), c.y()));
    });
}

void paintArrowUp(QPainter &painter, const QRectF &r, const QColor &color) {
    const qreal unit = std::min(r.width(), r.height());
    const qreal width = unit * 0.2;
    const QPointF c = r.center();
    const qreal top = c.y() - unit / 2 + width / 2;
    const qreal bottom = c.y() + unit / 2 - width / 2;
    const qreal wing = unit * 0.36;
    withPen(painter, color, width, [&] {
        painter.drawLine(QPointF(c.x(), top), QPointF(c.x(), bottom));
        painter.drawPolyline(QPolygonF{QPointF(c.x() - wing, top + wing), QPointF(c.x(), top),
                                       QPointF(c.x() + wing, top + wing)});
    });
}

// An icon with a pixmap for ordinary and for double-density screens.
QIcon iconFromPainter(int size, const std::function<void(QPainter &, const QRectF &)> &paint) {
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        QPixmap pixmap(QSize(size, size) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The text as a path scaled to fit `box` whole, centred in it; `tallest` lets it stretch up
// to that many times taller than its natural proportion to fill more of the height.
QPainterPath fittedText(const QString &text, const QRectF &box, qreal tallest = 1.0) {
    QFont font;
    font.setPixelSize(100);
    font.setBold(true);
    QPainterPath raw;
    raw.addText(0, 0, font, text);
    const QRectF bounds = raw.boundingRect();
    if (bounds.isEmpty())
        return {};
    const qreal scale = std::min(box.width() / bounds.width(), box.height() / bounds.height());
    const qreal scaleY = std::min(box.height() / bounds.height(), scale * tallest);
    QTransform transform;
    transform.translate(box.center().x(), box.center().y());
    transform.scale(scale, scaleY);
    transform.translate(-bounds.center().x(), -bounds.center().y());
    return transform.map(raw);
}

} // namespace

void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &rect, const QColor &color) {
    switch (symbol) {
    case Symbol::barChart:
        painter.fillPath(barChartPath(rect), color);
        break;
    case Symbol::gear:
        painter.fillPath(gearPath(rect), color);
        break;
    case Symbol::power:
        paintPower(painter, rect, color);
        break;
    case Symbol::arrowUp:
        paintArrowUp(painter, rect, color);
        break;
    }
}

QIcon symbolIcon(Symbol symbol, const QColor &color, int size) {
    return iconFromPainter(size, [&](QPainter &painter, const QRectF &rect) {
        paintSymbol(painter, symbol, rect.adjusted(0.5, 0.5, -0.5, -0.5), color);
    });
}

void paintGitHubUploadIcon(QPainter &painter, const QRectF &frame, const QColor &markColor,
                           const QColor &arrowColor) {
    const QPointF c = frame.center();
    painter.fillPath(gitHubMarkPath(QRectF(c.x() - 8, c.y() - 8, 16, 16)), markColor);
    // A 6.5-point bold arrow is about 6 pixels tall: a small arrow over the cat's face.
    paintArrowUp(painter, QRectF(c.x() - 3, c.y() - 3, 6, 6), arrowColor);
}

QIcon gitHubUploadIcon(const QPalette &palette) {
    const QColor mark = [&] {
        QColor color = palette.color(QPalette::WindowText);
        color.setAlphaF(0.5f);
        return color;
    }();
    const QColor arrow = palette.color(QPalette::WindowText);
    return iconFromPainter(18, [&](QPainter &painter, const QRectF &frame) {
        paintGitHubUploadIcon(painter, frame, mark, arrow);
    });
}

namespace {

// Below this size the figure alone fills the icon: under the glyph it would be a few pixels
// high and unreadable.
constexpr int smallestWithGlyph = 32;
// Below this the figure is drawn in the pixel font.
constexpr int smallestOutlineText = 20;

// A 3 x 5 pixel font for the figure on the smallest icons, where outline text blurs into the
// background: each glyph is its rows, '#' for a lit pixel.
struct PixelGlyph {
    char letter;
    std::array<const char *, 5> rows;
};

constexpr PixelGlyph pixelGlyphs[] = {
    {'0', {"###", "#.#", "#.#", "#.#", "###"}},
    {'1', {".#.", "##.", ".#.", ".#.", "###"}},
    {'2', {"###", "..#", "###", "#..", "###"}},
    {'3', {"###", "..#", "###", "..#", "###"}},
    {'4', {"#.#", "#.#", "###", "..#", "..#"}},
    {'5', {"###", "#..", "###", "..#", "###"}},
    {'6', {"###", "#..", "###", "#.#", "###"}},
    {'7', {"###", "..#", "..#", "..#", "..#"}},
    {'8', {"###", "#.#", "###", "#.#", "###"}},
    {'9', {"###", "#.#", "###", "..#", "###"}},
    {'.', {".", ".", ".", ".", "#"}},
    {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
    {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}},
    {'B', {"##.", "#.#", "##.", "#.#", "##."}},
    {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
    {'P', {"##.", "#.#", "##.", "#..", "#.."}},
    {'E', {"###", "#..", "##.", "#..", "###"}},
    {'<', {"..#", ".#.", "#..", ".#.", "..#"}},
};

const PixelGlyph *pixelGlyph(QChar letter) {
    for (const PixelGlyph &glyph : pixelGlyphs)
        if (QChar::fromLatin1(glyph.letter) == letter)
            return &glyph;
    return nullptr;
}

// Draws `text` in the pixel font, each font pixel `scaleX` by `scaleY` device pixels, centred
// horizontally and with its top at `top`. False when a letter is not in the font.
bool paintPixelText(QPainter &painter, const QString &text, int size, int top, int scaleX,
                    int scaleY, const QColor &color) {
    QList<const PixelGlyph *> glyphs;
    int width = -1;
    for (const QChar letter : text) {
        const PixelGlyph *glyph = pixelGlyph(letter);
        if (!glyph)
            return false;
        glyphs << glyph;
        width += static_cast<int>(std::strlen(glyph->rows[0])) + 1;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    int x = (size - width * scaleX) / 2;
    for (const PixelGlyph *glyph : glyphs) {
        const int columns = static_cast<int>(std::strlen(glyph->rows[0]));
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < columns; ++column)
                if (glyph->rows[static_cast<size_t>(row)][column] == '#')
                    painter.fillRect(x + column * scaleX, top + row * scaleY, scaleX, scaleY,
                                     color);
        x += (columns + 1) * scaleX;
    }
    painter.restore();
    return true;
}

// A small amber disc in the top right corner, ringed in the tile's colour so it stands apart
// from the figure, with an exclamation mark where there is room for one.
void paintWarningMark(QPainter &painter, int size) {
    const bool small = size < smallestOutlineText;
    const qreal radius = small ? 3.25 : size * 0.22;
    const QPointF centre(size - radius, radius);
    painter.setPen(QPen(heatmapLevelColor(4), std::max(size / 16.0, 1.0)));
    painter.setBrush(QColor(0xf5, 0xa6, 0x23));
    painter.drawEllipse(centre, radius - 0.5, radius - 0.5);
    if (small)
        return;
    const QColor ink(0x3a, 0x22, 0x00);
    const qreal stroke = std::max(radius * 0.32, 1.0);
    withPen(painter, ink, stroke, [&] {
        painter.drawLine(centre + QPointF(0, -radius * 0.5), centre + QPointF(0, radius * 0.12));
    });
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(centre + QPointF(0, radius * 0.5), stroke / 2, stroke / 2);
}

} // namespace

QImage trayIconImage(const QString &figure, int size, bool warning) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A filled tile in the heatmap's deepest blue keeps the white marks readable on light
    // and dark panels alike.
    const QRectF tile(0, 0, size, size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(heatmapLevelColor(4));
    painter.drawRoundedRect(tile, size * 0.2, size * 0.2);
    const QColor mark(Qt::white);
    const qreal pad = size * 0.12;
    const QRectF inside = tile.adjusted(pad, pad, -pad, -pad);
    const qreal edge = std::max(size * 0.06, 1.0);
    if (figure.isEmpty()) {
        painter.fillPath(barChartPath(inside), mark);
    } else if (size < smallestOutlineText &&
               paintPixelText(painter, figure, size, warning ? size - 11 : (size - 10) / 2,
                              std::max(size / 16, 1), 2, mark)) {
        // Ten pixels high, below the warning mark when there is one.
    } else if (size < smallestWithGlyph) {
        // The whole width, and the lower part when the warning mark takes the top corner.
        const qreal top = warning ? size * 0.36 : size * 0.16;
        const QRectF text(edge, top, size - 2 * edge, size * 0.86 - top);
        painter.fillPath(fittedText(figure, text, 1.6), mark);
    } else {
        // The figure gets the full width at the bottom; the glyph shrinks to the top.
        const QRectF text(edge, size * 0.46, size - 2 * edge, size * 0.46);
        painter.fillPath(
            barChartPath(QRectF(inside.left(), size * 0.08, inside.width(), size * 0.34)), mark);
        painter.fillPath(fittedText(figure, text), mark);
    }
    if (warning)
        paintWarningMark(painter, size);
    return image;
}

QIcon trayIcon(const QString &figure, bool warning) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(trayIconImage(figure, size, warning)));
    return icon;
}
