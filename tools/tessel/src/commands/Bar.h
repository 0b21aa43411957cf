#pragma once

#include "base/Environment.h"
#include "commands/BreakdownSummary.h"
#include "limits/LimitsReport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// `tessel bar`: one line for a status bar without a tray (Waybar's custom module, i3blocks,
// polybar): today's tokens, their API-equivalent cost and the most used limit window. It
// reads what collect and the limits keep; it never collects itself, so it can run every
// minute.
struct BarRequest {
    enum class Format { plain, waybar };
    Format format = Format::plain;
    std::optional<std::string> repositoryFolder;
};

// What the line is made of.
struct BarFigures {
    // Today's tokens of every machine (docs/usage.json), and this machine's breakdown of them.
    std::int64_t todayTokens = 0;
    BreakdownSummary today;
    BreakdownSummary week;
    // Whether a breakdown was found at all (without one no cost is shown).
    bool costs = false;
    // The limit windows last read, reset ones left out; the most used first.
    std::vector<LimitEntry> windows;
    std::int64_t now = 0;
};

// The used share of the most used window, 0 to 100 (0 without any), and Waybar's class for it:
// "critical" from 95% or when a limit is reached, "warning" from 80%, else "normal".
int barPercentage(const BarFigures &figures);
std::string barClass(const BarFigures &figures);

// "1.2M · $3.40 · Codex 5 h 42%".
std::string renderBarText(const BarFigures &figures);
// {"text": ..., "tooltip": ..., "class": ..., "percentage": ...} on one line, the texts as
// Pango markup (as Waybar reads them).
std::string renderBarWaybar(const BarFigures &figures);

BarFigures gatherBarFigures(const BarRequest &request, const Environment &environment);
std::string runBar(const BarRequest &request, const Environment &environment);
