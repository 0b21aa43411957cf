#pragma once

#include "base/Day.h"
#include "history/Breakdown.h"

#include <cstdint>
#include <string>
#include <vector>

// What `tessel report` shows: this machine's tokens over a span of days, with their split and
// API-equivalent cost, in total, per day, and grouped by tool, model or project.

enum class Grouping { tool, model, project };

std::string_view groupingId(Grouping grouping); // "tool", "model", "project"

// Tokens, their split and their cost, added up from breakdown rows.
struct Figures {
    TokenSplit split;
    std::int64_t tokens = 0;
    std::int64_t costNanodollars = 0;
    // Tokens of models the price table has no price for: the cost is then a lower bound.
    std::int64_t unpricedTokens = 0;

    void add(const BreakdownFigures &figures);
    void add(const Figures &figures);
    bool costIsLowerBound() const { return unpricedTokens > 0; }
    // Nothing of these tokens could be priced.
    bool unpriced() const { return unpricedTokens > 0 && costNanodollars == 0; }
};

struct SummaryRow {
    // The tool's id, the model's name or the project's folder; empty when unknown.
    std::string name;
    // What a person reads: the tool's own name, "unknown", a project under the home folder as
    // "~/...".
    std::string label;
    Figures figures;
};

struct SummaryGroup {
    Grouping by = Grouping::tool;
    // Largest first; ties by label.
    std::vector<SummaryRow> rows;
};

struct SummaryDay {
    DayNumber day = 0;
    Figures total;
    // Filled only for a daily summary.
    std::vector<SummaryGroup> groups;
};

struct BreakdownSummary {
    DayNumber from = 0;
    DayNumber to = 0;
    Figures total;
    std::vector<SummaryGroup> groups;
    // The days with tokens, oldest first.
    std::vector<SummaryDay> days;
    // The models with unpriced tokens, by name, and whether usage the logs name no model for
    // is among them (it has no price either).
    std::vector<std::string> unpricedModels;
    bool unpricedUnknownModel = false;
    std::string priceTableVersion;
};

struct SummaryRequest {
    DayNumber from = 0;
    DayNumber to = 0;
    std::vector<Grouping> by{Grouping::tool};
    // Each day's own groups as well.
    bool daily = false;
    // Shortens project folders under it to "~/..." in labels.
    std::string home;
};

BreakdownSummary summarizeBreakdown(const Breakdown &breakdown, const SummaryRequest &request);
