#pragma once

#include "providers/Provider.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where a limit figure was read. Only local files: nothing is ever asked of a web service.
enum class LimitSource : std::uint8_t {
    codexLog,           // payload.rate_limits of a Codex token_count line
    claudeStatusline,   // the snapshot `tessel statusline` saved from Claude Code's input
    claudeCache,        // cachedUsageUtilization in .claude.json, often days old
    claudeLimitReached, // a limit-reached error line in Claude Code's logs
};

constexpr std::string_view limitSourceId(LimitSource source) {
    switch (source) {
    case LimitSource::codexLog:
        return "codex-log";
    case LimitSource::claudeStatusline:
        return "claude-statusline";
    case LimitSource::claudeCache:
        return "claude-cache";
    case LimitSource::claudeLimitReached:
        return "claude-limit-reached";
    }
    return "unknown";
}

inline constexpr std::int64_t fiveHourMinutes = 300;
inline constexpr std::int64_t weekMinutes = 10080;

// One reading of one usage window (for example Codex's 5-hour window) at one moment.
struct LimitObservation {
    Provider provider = Provider::codex;
    // Empty for the account's own limits; else a limit of its own (a per-model bucket such as
    // Codex's `codex_<model>`, or Claude Code's Opus limit), shown only under its own name.
    std::string bucket;
    std::string bucketName;
    std::int64_t windowMinutes = 0;
    double usedPercent = 0;
    // Unix seconds; absent when the source did not say.
    std::optional<std::int64_t> resetsAt;
    std::int64_t observedAt = 0;
    LimitSource source = LimitSource::codexLog;

    // Two readings belong to the same window when they name the same reset time, give or take
    // a tenth of the window: relative reset times drift by the seconds a line took to write.
    bool sameWindowAs(const LimitObservation &other) const {
        if (provider != other.provider || bucket != other.bucket ||
            windowMinutes != other.windowMinutes || !resetsAt || !other.resetsAt)
            return false;
        const std::int64_t apart =
            *resetsAt > *other.resetsAt ? *resetsAt - *other.resetsAt : *other.resetsAt - *resetsAt;
        return apart * 10 <= windowMinutes * 60;
    }

    friend bool operator==(const LimitObservation &, const LimitObservation &) = default;
};
