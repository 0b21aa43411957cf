#pragma once

#include "providers/ProviderDefinition.h"

#include <string_view>
#include <vector>

// Codex rollout files: one session a file, each usage line carrying the session's running
// total and the last turn. What counts is the increase of that total, so the session's
// progress is remembered between collections. Forks, spawned subagents and copied sessions
// begin by replaying their parent's usage lines; every usage line therefore gets an identity
// from its two usage objects, and a line found in several files counts once, by the copy with
// the earliest timestamp.
namespace codex {

// What a session's LogSession holds: the running total of the last usage line (the baseline
// of the next one) and, for a spawned subagent, the second it was created, with its flags.
// The model in force (turn_context) and the session's folder (session_meta, turn_context) go
// with every usage line.
struct Session {
    std::int64_t lastTotal = 0;
    bool seenUsage = false;
    // A spawned subagent replays its parent's usage lines stamped with the second it was
    // created; while `replaying`, lines of that second are such copies.
    bool replaying = false;
    std::int64_t spawnSecond = 0;
    NameId model = 0;
    NameId project = 0;

    static Session from(const LogSession &stored);
    LogSession stored() const;
    friend bool operator==(const Session &, const Session &) = default;
};

// Reads one line into `session`. A usage line gives a record of what it adds to the session
// (filed under the day of its own timestamp, since a resumed session may live in an older
// day's folder), keyed by the line's identity and ranked so that the earliest copy wins.
ParseOutcome parseLine(ReadContext &context, LogSession &session, simdjson::dom::object line,
                       std::vector<UsageRecord> &records);

// Cheap test whether a line can matter at all.
bool mayMatter(std::string_view line);

} // namespace codex
