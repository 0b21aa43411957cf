#pragma once

#include "limits/LimitObservation.h"
#include "providers/LogLocations.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace codex {

// The windows of one token_count line's payload.rate_limits, told apart by their length
// (weekly-only plans put the weekly window in the primary slot). Empty for any other line.
std::vector<LimitObservation> parseRateLimits(std::string_view line);

struct LimitScan {
    // The windows of the newest line with rate limits across all session files.
    std::vector<LimitObservation> latest;
    // Every reading met on the way, for the pace.
    std::vector<LimitObservation> seen;
};

// Reads the session files of the last 31 days (the longest window is 30) newest first, each
// from its end, and stops once no older file can hold a newer line.
LimitScan scanLimits(const LogLocations &locations, std::int64_t now);

} // namespace codex
