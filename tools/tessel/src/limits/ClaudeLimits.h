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
// five_hour and seven_day, each {used_percentage, resets_at (Unix seconds)}. Windows with
// figures out of range are left out, each with a warning.
std::vector<LimitObservation> parseRateLimits(simdjson::ondemand::object &rateLimits,
                                              std::int64_t observedAt, LimitSource source,
                                              std::vector<std::string> &warnings);

// The windows of a whole status-line input taken at `now`: none when it carries no rate
// limits; nullopt when it is not a JSON object.
std::optional<std::vector<LimitObservation>>
parseStatuslineInput(std::string_view input, std::int64_t now, std::vector<std::string> &warnings);

// The snapshot file `tessel statusline` keeps: the same shape, each window with the time it
// was seen.
std::string renderSnapshot(const std::vector<LimitObservation> &windows);
// Empty when the text is not a snapshot.
std::vector<LimitObservation> parseSnapshot(std::string_view text);
// Empty when the file is missing, is not a regular file of a sane size or not a snapshot.
std::vector<LimitObservation> readSnapshot(const std::string &path);
// What the snapshot keeps after a status-line input: a window the input does not carry keeps
// its saved figure, and a lower share for the same window (the same reset) is older news from
// another session, which never replaces a higher one: within a window the share only rises.
std::vector<LimitObservation> mergeSnapshot(const std::vector<LimitObservation> &saved,
                                            const std::vector<LimitObservation> &incoming);

// cachedUsageUtilization {fetchedAtMs, utilization} of a .claude.json; empty without one.
std::vector<LimitObservation> parseUsageCache(std::string_view text,
                                              std::vector<std::string> &warnings);
// The same read from a file; empty when it is missing or not a regular file of a sane size.
std::vector<LimitObservation> readUsageCache(const std::string &path,
                                             std::vector<std::string> &warnings);
// The .claude.json files Claude Code may keep: in each CLAUDE_CONFIG_DIR folder, else ~.
std::vector<std::string> configFiles(const Environment &environment);

// What a limit-reached message says. Its wording changes from version to version, so it is
// matched by its shape: "limit reached" or "hit your ... limit", a window word (session,
// 5-hour, weekly, Opus, or none), then "resets" with a time, an optional date and an optional
// zone in parentheses; or "Claude AI usage limit reached|<epoch>". A clock time is the next
// such moment after the line was written, in the named zone or else the local one.
struct LimitReached {
    std::int64_t resetsAt = 0;
    std::int64_t windowMinutes = 0;
    // A model's own limit (Opus), else empty.
    std::string bucket;
    std::string bucketName;
};
std::optional<LimitReached> parseLimitReached(std::string_view text, std::int64_t writtenAt);

// A whole log line: an API error line of model <synthetic> that says a limit was reached.
std::optional<LimitObservation> parseLimitReachedLine(std::string_view line,
                                                      std::vector<std::string> &warnings);

} // namespace claude
