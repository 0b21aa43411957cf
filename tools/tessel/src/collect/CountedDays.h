#pragma once

#include "providers/UsageRecord.h"

#include <string>
#include <vector>

// Removes the records whose day is not a counted day (isCountedDay). Answers a warning that
// names `source` and how many were removed, or an empty text when none were.
std::string dropUncountedDays(std::vector<UsageRecord> &records, const std::string &source);
