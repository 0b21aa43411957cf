#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QRectF>
#include <QString>

class QPainter;

// Drawn glyphs for the symbols the panel and the tray use. They are painted in the desktop
// palette's colours at any size, so they read in light and dark themes alike (themed
// symbolic icons are not recoloured by Qt and would vanish on a dark panel).
enum class Symbol {
    barChart, // bars over a horizontal axis: the tray icon
    gear,     // the settings button
    power,    // the quit button
    arrowUp,  // the arrow on the sync button
};

void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &rect, const QColor &color);

// The symbol as an icon of `size` x `size` logical pixels, sharp on high-density screens too.
QIcon symbolIcon(Symbol symbol, const QColor &color, int size);

// The sync button's face in an 18 x 18 frame: the GitHub mark (16 x 16, `markColor`) with a
// small bold upward arrow (`arrowColor`) at its centre.
void paintGitHubUploadIcon(QPainter &painter, const QRectF &frame, const QColor &markColor,
                           const QColor &arrowColor);
QIcon gitHubUploadIcon(const QPalette &palette);

// The tray icon, white on a deep blue tile so it reads on light and dark panels: the
// bar-chart glyph alone, or today's short figure (at most four characters) when `figure` is
// not empty, under a smaller glyph from 32 pixels up and filling the icon below that. With
// `warning` an amber mark sits in the top right corner.
QImage trayIconImage(const QString &figure, int size, bool warning = false);
QIcon trayIcon(const QString &figure, bool warning = false);
