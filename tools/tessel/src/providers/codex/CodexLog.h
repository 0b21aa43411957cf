#pragma once

#include "base/Day.h"
#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string_view>

// Codex rollout files: one session a file, each usage line carrying the session's running
// total and the last turn. What counts is the increase of that total, so the session's
// progress is remembered between collections. Forks, spawned subagents and copied sessions
// begin by replaying their parent's usage lines; every usage line therefore gets an identity
// from its two usage objects, and a line found in several files counts once, by the copy with
// the earliest timestamp.
namespace codex {

struct Session {
    // The running total of the last usage line: the baseline of the next one.
    std::int64_t lastTotal = 0;
    bool seenUsage = false;
    // A spawned subagent replays its parent's usage lines stamped with the second it was
    // created; while `replaying`, lines of that second are such copies.
    bool replaying = false;
    std::int64_t spawnSecond = 0;

    friend bool operator==(const Session &, const Session &) = default;
};

enum class LineKind { usage, ignored, malformed };

// Reads one line into `session`. Returns the line's record: what it adds to the session
// (filed under the day of its own timestamp, since a resumed session may live in an older
// day's folder), keyed by the line's identity and ranked so that the earliest copy wins; or
// nullopt when the line is not a usage line of its own.
std::optional<UsageRecord> parseLine(simdjson::ondemand::parser &parser, LocalDays &days,
                                     Session &session, std::string_view line, size_t capacity,
                                     LineKind &kind);

// Cheap test whether a line can matter at all.
bool mayMatter(std::string_view line);

} // namespace codex
