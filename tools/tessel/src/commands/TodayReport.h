#pragma once

#include "base/Day.h"
#include "history/UsageHistory.h"

#include <optional>
#include <string>

// Today's report: one row per provider with today's tokens from the stored history (zero
// when there is none), as JSON for the menu or as a short table for a person.
std::string renderTodayReportJson(const std::optional<UsageHistory> &history, DayNumber today);
std::string renderTodayReportText(const std::optional<UsageHistory> &history, DayNumber today);
