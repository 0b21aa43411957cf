#pragma once

#include "base/Day.h"
#include "base/Environment.h"
#include "commands/BreakdownSummary.h"

#include <optional>
#include <string>
#include <vector>

// `tessel report today|week|month|range FROM TO`: this machine's tokens over those days from
// its breakdown (docs/.tessel-state.breakdown), grouped, with their API-equivalent cost.
struct ReportRequest {
    enum class Period { today, week, month, range };
    Period period = Period::today;
    // The days of a range, both included.
    DayNumber from = 0;
    DayNumber to = 0;
    std::vector<Grouping> by{Grouping::tool};
    bool json = false;
    bool daily = false;
    std::optional<std::string> repositoryFolder;
};

// The days a period covers, ending today: today alone, the last 7 days or the last 30 days,
// or the range given.
std::pair<DayNumber, DayNumber> reportDays(const ReportRequest &request, DayNumber today);

// The usage repository a report or the status-bar line reads: the one given, else the
// current folder when it holds the tool's files, else the one the tray utility uses.
std::string reportRepository(const std::optional<std::string> &given,
                             const Environment &environment);

// The report's text or JSON. Throws ToolError when a file cannot be read.
std::string runReport(const ReportRequest &request, const Environment &environment);
