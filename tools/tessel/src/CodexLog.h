#pragma once

#include "Day.h"
#include "UsageRecord.h"

#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string_view>

// Codex rollout files: one session a file, each usage line carrying the session's running
// total. What counts is the increase of that total, so the session's progress is remembered
// between collections.
namespace codex {

struct Session {
    std::int64_t lastTotal = 0;
    bool seenUsage = false;
    // The session was forked from another one and replays that one's history first: the
    // total of its first usage line belongs to the parent and is not counted again.
    bool forked = false;

    friend bool operator==(const Session &, const Session &) = default;
};

enum class LineKind { usage, ignored, malformed };

// Reads one line into `session`. Returns the increase to count, filed under the day of the
// line's own timestamp (a resumed session may live in an older day's folder), or nullopt
// when the line adds nothing.
std::optional<UsageRecord> parseLine(simdjson::ondemand::parser &parser, LocalDays &days,
                                     Session &session, std::string_view line, size_t capacity,
                                     LineKind &kind);

// Cheap test whether a line can matter at all.
bool mayMatter(std::string_view line);

} // namespace codex
