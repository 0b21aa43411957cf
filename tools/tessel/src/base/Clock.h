#pragma once

#include "base/Day.h"
#include "base/Environment.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Seconds since the epoch of an ISO-8601 time such as "2025-06-01T12:34:56.789Z" or
// "...+02:00"; a time without a zone is local time. Fractions are dropped. Nothing else parses.
std::optional<std::int64_t> parseTimestamp(std::string_view text);

// The current time in seconds since the epoch. TESSEL_NOW (seconds since the epoch, or an
// ISO-8601 time) replaces the system clock: a test seam, so that tests can fix "today".
std::int64_t currentTime(const Environment &environment);

// Today's local calendar day, by currentTime(). Throws ToolError when it is not a counted day.
DayNumber today(const Environment &environment);
