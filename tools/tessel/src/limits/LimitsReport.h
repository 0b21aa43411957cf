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

// From every reading at hand: per provider and window length the newest (on a tie, the more
// exact source), its status at `now`, and its pace from the readings of the same window.
// Ordered Codex before Claude Code, shorter windows first.
LimitsReport buildLimitsReport(const std::vector<LimitObservation> &readings, std::int64_t now);

// Reads every local source, adds what is new to the kept history (a failure to keep it is
// only reported on `warnings`) and builds the report.
LimitsReport gatherLimits(const Environment &environment, std::vector<std::string> &warnings);

std::string renderLimitsJson(const LimitsReport &report);
std::string renderLimitsText(const LimitsReport &report, std::int64_t now);

// "5 h", "7 d", "90 min".
std::string windowLabel(std::int64_t minutes);
// "2 h 10 min", "3 d 4 h", "45 s": how long from now until (or since) a moment.
std::string durationText(std::int64_t seconds);
