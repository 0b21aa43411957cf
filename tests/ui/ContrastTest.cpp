// Colours that must stay readable: control outlines at least 3:1 from the window in dark and
// light palettes, dividers seen in both, and the palette chosen for the desktop's light or
// dark preference.
#include "ui/Colors.h"
#include "ui/ContrastStyle.h"
#include "ui/Divider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QStyleOptionButton>

#include <gtest/gtest.h>

namespace {

QPalette paletteOf(QColor window, QColor text, QColor base) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    return palette;
}

const QPalette breezeDark =
    paletteOf(QColor(0x2a, 0x2e, 0x32), QColor(0xfc, 0xfc, 0xfc), QColor(0x1b, 0x1e, 0x20));
const QPalette adwaitaDark =
    paletteOf(QColor(0x24, 0x24, 0x24), QColor(0xff, 0xff, 0xff), QColor(0x1e, 0x1e, 0x1e));
const QPalette breezeLight =
    paletteOf(QColor(0xef, 0xf0, 0xf1), QColor(0x23, 0x26, 0x29), QColor(0xff, 0xff, 0xff));

// The strongest contrast against the window along the widget's outline at `rect`'s left edge.
double edgeContrast(QWidget &widget, const QRect &rect) {
    const QImage image = widget.grab().toImage();
    const QColor window = widget.palette().color(QPalette::Window);
    double strongest = 1;
    for (int y = rect.top() + 2; y < rect.bottom() - 1; ++y)
        for (int x = rect.left(); x <= rect.left() + 1; ++x)
            strongest = std::max(strongest, contrastRatio(image.pixelColor(x, y), window));
    return strongest;
}

TEST(ContrastTest, ContrastRatioFollowsTheWcagFormula) {
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(contrastRatio(Qt::red, Qt::red), 1, 1e-9);
}

TEST(ContrastTest, ControlsStandOutAtLeastThreeToOneInEveryPalette) {
    ContrastStyle style;
    for (const QPalette &palette : {breezeDark, adwaitaDark, breezeLight}) {
        const std::string name = palette.color(QPalette::Window).name().toStdString();
        EXPECT_GE(contrastRatio(controlOutlineColor(palette), palette.color(QPalette::Window)), 3)
            << name;

        QCheckBox box;
        box.setStyle(&style);
        box.setPalette(palette);
        box.resize(box.sizeHint());
        QStyleOptionButton option;
        option.initFrom(&box);
        const QRect indicator = style.subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
        EXPECT_GE(edgeContrast(box, indicator), 3) << "unchecked box on " << name;

        QComboBox combo;
        combo.setStyle(&style);
        combo.setPalette(palette);
        combo.addItem(QStringLiteral("2 分钟"));
        combo.resize(combo.sizeHint());
        EXPECT_GE(edgeContrast(combo, combo.rect()), 3) << "drop-down on " << name;

        // Dividers are no controls: seen, but softer.
        Divider divider;
        divider.setPalette(palette);
        divider.resize(40, 1);
        const double line = contrastRatio(divider.grab().toImage().pixelColor(20, 0),
                                          palette.color(QPalette::Window));
        EXPECT_GE(line, 1.5) << "divider on " << name;
        EXPECT_LT(line, 3) << "divider on " << name;
    }
}

TEST(ContrastTest, ThePaletteFollowsTheDesktopsPreference) {
    EXPECT_TRUE(isDarkPalette(paletteForScheme(ColorScheme::dark, breezeLight)));
    EXPECT_FALSE(isDarkPalette(paletteForScheme(ColorScheme::light, breezeDark)));
    EXPECT_EQ(paletteForScheme(ColorScheme::dark, breezeDark), breezeDark);
    EXPECT_EQ(paletteForScheme(ColorScheme::light, breezeLight), breezeLight);
    EXPECT_EQ(paletteForScheme(ColorScheme::noPreference, breezeDark), breezeDark);
    // The utility's own palettes keep their controls visible too.
    for (const QPalette &own : {paletteForScheme(ColorScheme::dark, breezeLight),
                                paletteForScheme(ColorScheme::light, breezeDark)}) {
        EXPECT_GE(contrastRatio(controlOutlineColor(own), own.color(QPalette::Window)), 3);
        EXPECT_GE(contrastRatio(own.color(QPalette::WindowText), own.color(QPalette::Window)), 7);
        EXPECT_GE(contrastRatio(secondaryTextColor(own), own.color(QPalette::Window)), 3);
    }
}

} // namespace
