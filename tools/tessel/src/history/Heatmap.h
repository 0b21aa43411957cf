#pragma once

#include "base/Day.h"
#include "history/UsageHistory.h"

#include <cstdint>
#include <string>

// The colour level of a day's tokens, as the menu's grid draws it: 0 for none, then one level
// per power of ten from a million; a figure below zero (never written by the tool) shows as none.
int heatmapLevel(std::int64_t tokens);
// "#rrggbb" of a level, the same five colours as the menu's grid.
std::string heatmapColour(int level);

// The last 98 days ending `today` as an SVG picture: 7 rows by 14 columns, filled column by
// column, oldest top left, today bottom right.
std::string renderHeatmap(const UsageHistory &history, DayNumber today);
