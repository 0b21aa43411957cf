#pragma once

#include "limits/LimitObservation.h"
#include "providers/LogLocations.h"

#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Claude Code's limits, which it never writes to its session logs. Three local sources, from
// the most to the least exact: what it hands a status-line command, the figures it caches in
// .claude.json, and the error line it logs when a limit is hit.
namespace claude {

// The windows of a `rate_limits` object as Claude Code gives it to a status line:
// five_hour and seven_day, each {used_percentage, resets_at (Unix seconds)}.
std::vector<LimitObservation> parseRateLimits(simdjson::ondemand::object &rateLimits,
                                              std::int64_t observedAt,
                                              LimitSource source = LimitSource::claudeStatusline);

// The snapshot file `tessel statusline` keeps: the same shape, with the time it was taken.
std::string renderSnapshot(const std::vector<LimitObservation> &windows, std::int64_t observedAt);
// Empty when the file is missing or is not a snapshot.
std::vector<LimitObservation> readSnapshot(const std::string &path);

// cachedUsageUtilization {fetchedAtMs, utilization} of a .claude.json; empty without one.
std::vector<LimitObservation> readUsageCache(const std::string &path);
// The .claude.json files Claude Code may keep: in each CLAUDE_CONFIG_DIR folder, else ~.
std::vector<std::string> configFiles(const Environment &environment);

// What a limit-reached message says. Its wording changed over versions:
// "Claude AI usage limit reached|<epoch>", "5-hour limit reached ∙ resets 2am",
// "You've hit your limit · resets Jan 24 at 6pm (Asia/Hong_Kong)". A clock time is the next
// such moment after the line was written, in the named zone or else the local one.
struct LimitReached {
    std::int64_t resetsAt = 0;
    std::int64_t windowMinutes = 0;
};
std::optional<LimitReached> parseLimitReached(std::string_view text, std::int64_t writtenAt);

// A whole log line: an API error line of model <synthetic> that says a limit was reached.
std::optional<LimitObservation> parseLimitReachedLine(std::string_view line);

// The newest limit-reached line in the logs of the last eight days (a weekly limit stays
// current for seven), each file read from its end.
std::optional<LimitObservation> scanLimitReached(const LogLocations &locations, std::int64_t now);

} // namespace claude
