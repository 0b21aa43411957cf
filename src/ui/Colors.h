#pragma once

#include <QColor>
#include <QPalette>

// Fill of a heatmap cell for a colour level 0-4, from a pale grey-blue to a deep blue. These
// stay the same in light and dark desktop themes; out-of-range levels are clamped.
QColor heatmapLevelColor(int level);

// The desktop's normal label colour and a dimmed version of it for secondary text and icons.
QColor primaryTextColor(const QPalette &palette);
QColor secondaryTextColor(const QPalette &palette);

// WCAG's relative luminance of a colour and the contrast ratio of two (1 to 21).
double relativeLuminance(const QColor &color);
double contrastRatio(const QColor &first, const QColor &second);

// Whether the palette draws light text on a dark window.
bool isDarkPalette(const QPalette &palette);

// The colour of a control's outline (a check box, a drop-down): the window colour mixed
// towards the text colour just far enough to stand out at least 3:1 from the window, so that
// an unchecked box stays visible in dark palettes as in light ones.
QColor controlOutlineColor(const QPalette &palette);

// The colour of the panel's dividers, mixed the same way to a softer 1.6:1: the palette's
// own mid tone all but vanishes into the window in dark palettes.
QColor dividerColor(const QPalette &palette);

// The desktop's light or dark preference, as the settings portal states it.
enum class ColorScheme { noPreference, dark, light };

// The palette to use for `scheme` when the platform hands `platform`: the platform's own when
// it already fits (or there is no preference), else a dark or light palette of the utility's.
QPalette paletteForScheme(ColorScheme scheme, const QPalette &platform);
