#pragma once

#include "base/Day.h"
#include "prices/Prices.h"
#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <functional>
#include <string>
#include <string_view>

// How the collector prices each request as it counts it: with the table shipped beside the
// tool, or with one a test hands in. Counts priced under another version are priced again.
struct Pricing {
    std::string version;
    std::function<RequestCost(Provider provider, std::string_view model, const TokenSplit &split,
                              DayNumber day)>
        price;

    static Pricing shipped();
};
