#pragma once

#include "base/Day.h"
#include "history/UsageHistory.h"

// Invented but plausible usage, for trying the menu on a machine without AI coding tools.

// 120 days ending `today` for all three providers, marked as a demo.
UsageHistory makeDemoHistory(DayNumber today);
// Fills the days since the history's last day and adds a little to today's figures, so that
// every collect in a demo repository shows movement.
void advanceDemo(UsageHistory &history, DayNumber today);
