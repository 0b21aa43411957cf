#pragma once

#include "base/Day.h"
#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <cstdint>
#include <string>
#include <string_view>

// What one request would have cost at the providers' API prices: an estimate, never a bill
// (a subscriber pays the same whatever the tokens). Nanodollars, so that a token's share of a
// cent stays exact when many are added.
struct RequestCost {
    std::int64_t nanodollars = 0;
    // False when the table has no price for the model: the request is "unpriced", not free.
    bool priced = false;
};

// The dated price table shipped beside the tool. Each request is priced when it is counted,
// with the prices in force on its day and the long-context tier its own prompt reaches.
class PriceTable {
public:
    // The table beside the running tool, loaded once; an empty table when there is none.
    static const PriceTable &shipped();

    RequestCost price(Provider provider, std::string_view model, const TokenSplit &split,
                      DayNumber day) const;

    // Names the table's contents (its source and date): counts priced under another table are
    // priced again.
    const std::string &version() const { return m_version; }

private:
    std::string m_version;
};
