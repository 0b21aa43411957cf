#pragma once

#include "base/Day.h"
#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Where this machine's tokens went: per local day, tool, model and project, what the tokens
// were made of and what they would have cost at API prices. Kept beside the collector's state
// (docs/.tessel-state.breakdown), never published: project folders are private.
struct BreakdownKey {
    DayNumber day = 0;
    Provider provider = Provider::claude;
    NameId model = 0;   // 0: unknown
    NameId project = 0; // 0: unknown

    friend auto operator<=>(const BreakdownKey &, const BreakdownKey &) = default;
};

struct BreakdownFigures {
    TokenSplit split;
    std::int64_t tokens = 0;
    // The API-equivalent cost of the priced requests, and the tokens of those the price table
    // had no price for (the cost is then a lower bound).
    std::int64_t costNanodollars = 0;
    std::int64_t unpricedTokens = 0;

    friend bool operator==(const BreakdownFigures &, const BreakdownFigures &) = default;
};

struct Breakdown {
    std::map<BreakdownKey, BreakdownFigures> rows;
    // The texts of the models and projects the rows name.
    NameTable names;
    // The price table the costs were computed with.
    std::string priceTableVersion;
};

// nullopt when the file is missing, damaged or not a breakdown of this format.
std::optional<Breakdown> readBreakdown(const std::string &path);
// The same with only the rows of the days `from` to `to` kept (the whole file is still
// checked): a report of a few days over years of rows builds only what it shows.
std::optional<Breakdown> readBreakdown(const std::string &path, DayNumber from, DayNumber to);
// Replaces the file atomically when its contents change, with the texts of the names its rows
// use. Throws FileError.
void writeBreakdown(const std::string &path, const Breakdown &breakdown);
