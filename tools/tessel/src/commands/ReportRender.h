#pragma once

#include "commands/BreakdownSummary.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct ReportTextOptions {
    // The terminal's columns; 0 when there is no limit (output to a file or a pipe).
    size_t width = 0;
    // Tokens docs/usage.json counts in these days beyond this machine's breakdown: the other
    // machines' (as of their last sync), or a demo's invented figures.
    std::int64_t elsewhereTokens = 0;
    bool demo = false;
    // False when the repository has no breakdown file at all.
    bool breakdownKept = true;
};

// A table per grouping (per day first, with a daily summary): the rows largest first, their
// split and API-equivalent cost, and a total line; then what the cost means and which models
// it leaves out.
std::string renderReportText(const BreakdownSummary &summary, const ReportTextOptions &options);

// The same as one JSON document (described in the tool's README).
std::string renderReportJson(const BreakdownSummary &summary);
