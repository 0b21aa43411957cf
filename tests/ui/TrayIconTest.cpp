// The tray icon at the sizes tray hosts ask for: today's figure must be legible at 16 to 32
// pixels, and a failure shows as a mark. With TESSELMENU_ICON_PICTURES set to a folder the
// rendered icons are saved there to be looked at.
#include "ui/Colors.h"
#include "ui/Icons.h"

#include <QDir>
#include <QImage>
#include <QRect>

#include <gtest/gtest.h>

namespace {

bool isInk(QColor color) {
    return color.alpha() == 255 && color.red() > 150 && color.green() > 150 && color.blue() > 150;
}

bool isWarning(QColor color) {
    return color.red() > 200 && color.green() > 120 && color.green() < 200 && color.blue() < 90;
}

// The bounding box of the white marks in `rows` of the image.
QRect inkBounds(const QImage &image, int firstRow, int lastRow) {
    QRect bounds;
    for (int y = firstRow; y <= lastRow; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (isInk(image.pixelColor(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// The warning mark's pixels in `area`, or in the whole image.
int warningPixels(const QImage &image, QRect area = QRect()) {
    area = area.isNull() ? image.rect() : area;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += isWarning(image.pixelColor(x, y));
    return count;
}

TEST(TrayIcon, TheFigureIsLegibleAtEveryTraySize) {
    const QString pictures = qEnvironmentVariable("TESSELMENU_ICON_PICTURES");
    struct Case {
        int size;
        int minInkHeight; // pixels of the figure's height at least
    };
    // Below 32 pixels the figure alone fills the icon; at 32 it sits under the glyph.
    const Case cases[] = {{16, 10}, {22, 8}, {24, 9}, {32, 8}};
    for (const auto &[size, minInkHeight] : cases) {
        for (const QString figure : {"4.3M", "12B", "999K"}) {
            for (const bool warning : {false, true}) {
                const QImage image = trayIconImage(figure, size, warning);
                const QString where =
                    QStringLiteral("%1 px, %2%3")
                        .arg(size)
                        .arg(figure, warning ? QStringLiteral(", warning") : QString());
                if (!pictures.isEmpty())
                    image.save(QDir(pictures).filePath(
                        QStringLiteral("tray-%1-%2%3.png")
                            .arg(size)
                            .arg(figure, warning ? QStringLiteral("-warning") : QString())));
                ASSERT_EQ(image.size(), QSize(size, size)) << where.toStdString();
                const int textTop = size < 32 ? 0 : size * 46 / 100;
                const QRect text = inkBounds(image, textTop, size - 1);
                EXPECT_GE(text.height(), minInkHeight) << where.toStdString();
                EXPECT_GE(text.width(), size * 6 / 10) << where.toStdString();
                if (size < 32 && !warning) {
                    EXPECT_TRUE(inkBounds(image, 0, size * 15 / 100).isEmpty())
                        << where.toStdString() << ": nothing above the figure";
                }
                EXPECT_EQ(warningPixels(image) > 0, warning) << where.toStdString();
            }
        }
    }
}

TEST(TrayIcon, WithoutAFigureOnlyTheGlyphShowsAndTheWarningStillDoes) {
    for (const int size : {16, 32}) {
        const QImage plain = trayIconImage(QString(), size);
        const QImage warned = trayIconImage(QString(), size, true);
        EXPECT_FALSE(inkBounds(plain, 0, size - 1).isEmpty());
        EXPECT_EQ(warningPixels(plain), 0);
        EXPECT_GT(warningPixels(warned), 0);
        // The mark sits in the top right corner, clear of the rest.
        const int half = size / 2;
        EXPECT_EQ(warningPixels(warned, QRect(half, 0, half, half)), warningPixels(warned)) << size;
        EXPECT_EQ(warned.copy(0, half, size, half), plain.copy(0, half, size, half)) << size;
    }
}

} // namespace
