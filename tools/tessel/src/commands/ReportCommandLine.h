#pragma once

#include "commands/CommandLine.h"

#include <string>
#include <vector>

// The command lines of `report today|week|month|range` and `bar`, after their words.
bool isReportPeriod(const std::string &word);
// Throws UsageError naming what is wrong.
Command parseReportCommand(const std::vector<std::string> &arguments);
Command parseBarCommand(const std::vector<std::string> &arguments);
