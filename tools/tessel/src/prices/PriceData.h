#pragma once

#include "base/Day.h"
#include "prices/ModelMatch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The price table as read from its file. Rates are picodollars per token (US dollars per
// million tokens times a million), so every price the table holds is a whole number.
struct TieredRate {
    std::int64_t base = 0;
    // (prompt size, rate), ascending: a request whose prompt is larger than a size pays that
    // tier's rate for all of its tokens of this kind.
    std::vector<std::pair<std::int64_t, std::int64_t>> tiers;

    std::int64_t at(std::int64_t prompt) const {
        std::int64_t rate = base;
        for (const auto &[start, tierRate] : tiers)
            if (prompt > start)
                rate = tierRate;
        return rate;
    }
};

// The prices of a model from a day on (or from the start without a day).
struct DatedPrices {
    std::optional<DayNumber> from;
    // The table names the model but gives no token price for these days.
    bool unpriced = false;
    TieredRate input;
    TieredRate output;
    std::optional<TieredRate> cacheRead;
    std::optional<TieredRate> cacheWrite;
    std::optional<TieredRate> cacheWriteLong;
};

struct ModelPrices {
    std::string vendor;
    std::string id;
    MatchRule match;
    std::vector<DatedPrices> prices;

    // The entry in force on `day`: the last one dated on or before it, else the first undated
    // one, else the first.
    const DatedPrices &on(DayNumber day) const;
};

struct VendorPrices {
    std::string id;
    std::optional<MatchRule> modelMatch;    // the model names this maker claims
    std::optional<MatchRule> providerMatch; // the prefixes that name this maker
    std::vector<ModelPrices> models;
};

struct PriceData {
    std::vector<VendorPrices> vendors;
};

// Reads the table's text; throws ToolError naming what is wrong.
PriceData parsePriceData(std::string_view json, std::string &version);
