#include "ui/Colors.h"

#include <algorithm>
#include <array>

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
