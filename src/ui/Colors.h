#pragma once

#include <QColor>
#include <QPalette>

// Fill of a heatmap cell for a colour level 0-4, from a pale grey-blue to a deep blue. These
// stay the same in light and dark desktop themes; out-of-range levels are clamped.
QColor heatmapLevelColor(int level);

// The desktop's normal label colour and a dimmed version of it for secondary text and icons.
QColor primaryTextColor(const QPalette &palette);
QColor secondaryTextColor(const QPalette &palette);
