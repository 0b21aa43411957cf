#include "limits/LimitsPace.h"

#include "limits/LimitRanges.h"

#include <algorithm>
#include <cmath>

std::optional<LimitPace> projectPace(const LimitObservation &current,
                                     const std::vector<LimitObservation> &readings) {
    if (!current.resetsAt || *current.resetsAt <= current.observedAt || current.usedPercent >= 100)
        return std::nullopt;
    const std::int64_t windowStart = *current.resetsAt - current.windowMinutes * 60;
    const LimitObservation *first = &current;
    for (const LimitObservation &reading : readings)
        if (reading.sameWindowAs(current) && reading.observedAt >= windowStart &&
            reading.observedAt < first->observedAt)
            first = &reading;
    if (first->observedAt >= current.observedAt)
        return std::nullopt;
    // Use within one window never falls; a lower figure later means a correction, not a pace.
    const double rate =
        std::max(0.0, (current.usedPercent - first->usedPercent) /
                          static_cast<double>(current.observedAt - first->observedAt));
    LimitPace pace;
    const double remaining = static_cast<double>(*current.resetsAt - current.observedAt);
    const double projected = current.usedPercent + rate * remaining;
    // A steep rise over a few seconds can project anything; past the range it says no more.
    pace.projectedPercent = std::min(projected, maxUsedPercent);
    if (rate > 0 && projected >= 100) {
        const double untilFull = (100 - current.usedPercent) / rate;
        pace.reachedAt = current.observedAt + static_cast<std::int64_t>(std::ceil(untilFull));
    }
    return pace;
}
