#pragma once

#include "base/Environment.h"
#include "limits/LimitObservation.h"
#include "limits/LimitsPace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// `tessel report limits`: the latest known figure of every window, per provider and length.
struct LimitEntry {
    enum class Status {
        current, // the figure holds until the reset
        reached, // 100% or more until the reset
        reset,   // the reset time has passed and no newer figure is known
    };
    LimitObservation observation;
    Status status = Status::current;
    std::optional<LimitPace> pace;
};

struct LimitsReport {
    std::vector<LimitEntry> windows;
};

// From every reading at hand: per provider, bucket and window length the newest (on a tie,
// the more exact source), its status at `now`, and its pace from the readings of the same
// window. Within one window the share only rises, so a newer but lower figure for the same
// reset is older news and the higher one stays. Readings out of range or taken more than a
// day after `now` are left out, each with a warning. Ordered Codex before Claude Code, the
// account's own limits before buckets, shorter windows first.
LimitsReport buildLimitsReport(const std::vector<LimitObservation> &readings, std::int64_t now,
                               std::vector<std::string> &warnings);

// Reads every local source, adds what is new to the kept history (a failure to keep it is
// only reported on `warnings`) and builds the report. Log files are read only as far as they
// changed since the last run, which is kept in the state folder's `limits-scan`.
LimitsReport gatherLimits(const Environment &environment, std::vector<std::string> &warnings);

// The document for the tray utility: the account's windows under "windows", the windows of
// other limit buckets under "buckets", each with its "limit_id" and "limit_name".
std::string renderLimitsJson(const LimitsReport &report);
std::string renderLimitsText(const LimitsReport &report, std::int64_t now);

// "5 h", "7 d", "90 min".
std::string windowLabel(std::int64_t minutes);
// "2 h 10 min", "3 d 4 h", "45 s": how long from now until (or since) a moment.
std::string durationText(std::int64_t seconds);
