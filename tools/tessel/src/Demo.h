#pragma once

#include "Day.h"
#include "Environment.h"
#include "UsageHistory.h"

#include <string>

// Invented but plausible usage, for trying the menu on a machine without AI coding tools.

// 120 days ending `today` for all three providers, marked as a demo.
UsageHistory makeDemoHistory(DayNumber today);
// Fills the days since the history's last day and adds a little to today's figures, so that
// every collect in a demo repository shows movement.
void advanceDemo(UsageHistory &history, DayNumber today);

// Prepares `folder` as a demo repository: a git repository (no remote) whose docs/usage.json
// is a demo history. Refreshes an existing demo; refuses a folder whose docs/usage.json is a
// real history. Throws ToolError.
void prepareDemoRepository(const std::string &folder, const Environment &environment);
