#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How the reports and the status-bar line write their figures.

// "1.2M", "340.5K", "999": the tray's compact token count.
std::string compactTokens(std::int64_t tokens);

// An API-equivalent cost in dollars, to the cent: "$12.40", "$1,234.56", "<$0.01" for a cost
// under half a cent that is not nothing; "≥ " before it when it leaves unpriced tokens out.
std::string dollars(std::int64_t nanodollars, bool lowerBound = false);

// When a limit resets, in local time: "14:05" within a day of `now`, else "Dec 09 14:05".
std::string resetClock(std::int64_t at, std::int64_t now);

// The exact amount in dollars as a JSON number: "12.4", "0.000000005", "0".
std::string dollarsJson(std::int64_t nanodollars);

// How many terminal columns `text` (UTF-8) takes: East Asian wide characters count two.
size_t displayWidth(std::string_view text);
// `text` cut to at most `width` columns, ending in "…" when cut.
std::string fitted(std::string_view text, size_t width);
