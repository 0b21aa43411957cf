#pragma once

#include <string>

// A percentage as JSON and people read it: at most two decimals, no trailing zeros
// ("42", "42.5", "7.25"). Always a JSON number: "0" for anything not finite or beyond 1e15.
std::string formatNumber(double value);
