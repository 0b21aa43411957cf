#pragma once

#include "limits/LimitObservation.h"

#include <cstdint>
#include <optional>
#include <vector>

// Where the use of a window is heading: the rise between the first and the last reading of
// the current window, carried on to its reset.
struct LimitPace {
    double projectedPercent = 0;
    // When the use passes 100% before the reset, the moment it does.
    std::optional<std::int64_t> reachedAt;
};

// `current` is the newest reading of the window; `readings` may hold anything: only readings
// of the same window, taken within it, count. Needs two readings at different times and a
// known reset that is still ahead of the newest reading.
std::optional<LimitPace> projectPace(const LimitObservation &current,
                                     const std::vector<LimitObservation> &readings);
