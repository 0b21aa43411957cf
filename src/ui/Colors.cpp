#include "ui/Colors.h"

#include <algorithm>
#include <array>
#include <cmath>

QColor heatmapLevelColor(int level) {
    static const std::array<QColor, 5> colors{
        QColor::fromRgbF(0.84f, 0.87f, 0.90f), QColor::fromRgbF(0.75f, 0.85f, 0.93f),
        QColor::fromRgbF(0.52f, 0.71f, 0.87f), QColor::fromRgbF(0.24f, 0.51f, 0.76f),
        QColor::fromRgbF(0.05f, 0.32f, 0.62f)};
    return colors[static_cast<size_t>(std::clamp(level, 0, 4))];
}

QColor primaryTextColor(const QPalette &palette) {
    return palette.color(QPalette::WindowText);
}

// Mixed towards the background rather than made translucent, so icons drawn with it keep the
// same shade wherever they are painted.
QColor secondaryTextColor(const QPalette &palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    constexpr float weight = 0.55f;
    return QColor::fromRgbF(text.redF() * weight + back.redF() * (1 - weight),
                            text.greenF() * weight + back.greenF() * (1 - weight),
                            text.blueF() * weight + back.blueF() * (1 - weight));
}

double relativeLuminance(const QColor &color) {
    const auto linear = [](float channel) {
        return channel <= 0.04045f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

double contrastRatio(const QColor &first, const QColor &second) {
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

bool isDarkPalette(const QPalette &palette) {
    return relativeLuminance(palette.color(QPalette::Window)) <
           relativeLuminance(palette.color(QPalette::WindowText));
}

namespace {

// The window colour mixed towards the text colour until it stands out `wanted`:1.
QColor standingOut(const QPalette &palette, double wanted) {
    const QColor back = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    constexpr int steps = 40;
    for (int step = 1; step <= steps; ++step) {
        const float weight = float(step) / steps;
        const QColor mixed =
            QColor::fromRgbF(back.redF() + (text.redF() - back.redF()) * weight,
                             back.greenF() + (text.greenF() - back.greenF()) * weight,
                             back.blueF() + (text.blueF() - back.blueF()) * weight);
        if (contrastRatio(mixed, back) >= wanted)
            return mixed;
    }
    return text;
}

} // namespace

QColor controlOutlineColor(const QPalette &palette) {
    return standingOut(palette, 3.0);
}

QColor dividerColor(const QPalette &palette) {
    return standingOut(palette, 1.6);
}

namespace {

QPalette schemePalette(bool dark) {
    // Breeze's colours, which read well on either desktop.
    const QColor window = dark ? QColor(0x2a, 0x2e, 0x32) : QColor(0xef, 0xf0, 0xf1);
    const QColor text = dark ? QColor(0xfc, 0xfc, 0xfc) : QColor(0x23, 0x26, 0x29);
    const QColor base = dark ? QColor(0x1b, 0x1e, 0x20) : QColor(0xff, 0xff, 0xff);
    const QColor button = dark ? QColor(0x31, 0x36, 0x3b) : QColor(0xfc, 0xfc, 0xfc);
    QPalette palette(text, button, button.lighter(130), button.darker(130), button.darker(115),
                     text, text, base, window);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    palette.setColor(QPalette::HighlightedText, QColor(0xfc, 0xfc, 0xfc));
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, secondaryTextColor(palette));
    palette.setColor(QPalette::Link, QColor(0x29, 0x80, 0xb9));
    const QColor disabled = secondaryTextColor(palette);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

} // namespace

QPalette paletteForScheme(ColorScheme scheme, const QPalette &platform) {
    const bool dark = isDarkPalette(platform);
    if (scheme == ColorScheme::dark && !dark)
        return schemePalette(true);
    if (scheme == ColorScheme::light && dark)
        return schemePalette(false);
    return platform;
}
