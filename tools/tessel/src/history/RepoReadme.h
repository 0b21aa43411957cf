#pragma once

#include "base/Day.h"
#include "history/UsageHistory.h"

#include <string>

// docs/README.md of the usage repository: the heatmap and today's and this week's (the last
// seven days, today included) figures per provider.
std::string renderRepoReadme(const UsageHistory &history, DayNumber today);

// 1234567 -> "1,234,567".
std::string groupedNumber(std::int64_t value);
