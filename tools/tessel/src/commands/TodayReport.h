#pragma once

#include "base/Day.h"
#include "history/UsageHistory.h"

#include <optional>
#include <string>

// Today's report for the menu: one row per provider with today's tokens from the stored
// history (zero when there is none).
std::string renderTodayReportJson(const std::optional<UsageHistory> &history, DayNumber today);
