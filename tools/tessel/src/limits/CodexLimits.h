#pragma once

#include "limits/LimitObservation.h"

#include <string>
#include <string_view>
#include <vector>

namespace codex {

// The windows of one token_count line's payload.rate_limits, told apart by their length
// (weekly-only plans put the weekly window in the primary slot). Empty for any other line.
// A line of a limit bucket other than the account's own (`limit_id` other than "codex")
// gives windows of that bucket, named by its `limit_name`. Windows with figures out of range
// are left out, each with a warning.
std::vector<LimitObservation> parseRateLimits(std::string_view line,
                                              std::vector<std::string> &warnings);

} // namespace codex
