#pragma once

#include "limits/LimitObservation.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The ranges a limit figure must fall in before it is believed. Logs and inputs can hold
// anything (1e308, a negative window length, a reset a million years away); a window with a
// figure outside its range is left out with a warning, never printed, and the other windows
// of the same line stay.

// Above ten times the limit a share means nothing.
inline constexpr double maxUsedPercent = 1000;
// The longest window known is 30 days; a year leaves room for longer ones.
inline constexpr std::int64_t maxWindowMinutes = 366 * 1440;
// Readings are taken by the tools while they run: not before 2000 and not after 9999.
inline constexpr std::int64_t earliestReading = 946684800;
inline constexpr std::int64_t latestReading = 253402300799;
// A reset lies within a window's length of its reading, give or take a day of slack.
inline constexpr std::int64_t resetSlack = 86400;
// What a bucket's id and name may be: ids of letters, digits, '-', '_', '.' and ':'; names
// are cut to this many bytes.
inline constexpr size_t maxBucketIdSize = 64;
inline constexpr size_t maxBucketNameSize = 64;

// One window as a source wrote it, numbers as they came.
struct RawWindow {
    Provider provider = Provider::codex;
    LimitSource source = LimitSource::codexLog;
    std::string bucket;
    std::string bucketName;
    std::int64_t observedAt = 0;
    double usedPercent = 0;
    double windowMinutes = 0;
    // Unix seconds, or seconds after `observedAt`; neither when the source did not say.
    std::optional<double> resetsAt;
    std::optional<double> resetsInSeconds;
};

// The window as a reading when every figure is in range; else nullopt and a warning that
// says which figure was dropped.
std::optional<LimitObservation> checkedWindow(const RawWindow &raw,
                                              std::vector<std::string> &warnings);

// Empty when every figure of `reading` is in range, else what is not, for a warning.
std::string rangeProblem(const LimitObservation &reading);

// True for an id of 1 to maxBucketIdSize letters, digits, '-', '_', '.' or ':'.
bool isSafeBucketId(std::string_view id);
// A bucket's display name: control characters made spaces, cut to maxBucketNameSize bytes
// at a character boundary; the id when nothing is left.
std::string bucketDisplayName(std::string_view name, std::string_view id);

// "codex-log: 5 h window" and the like, to start a warning with.
std::string describeWindow(LimitSource source, std::int64_t minutes, std::string_view bucket);
