#pragma once

#include "base/Day.h"
#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct PriceData;
struct ModelPrices;

// What one request would have cost at the providers' API prices: an estimate, never a bill
// (a subscriber pays the same whatever the tokens). Nanodollars, so that a token's share of a
// cent stays exact when many are added.
struct RequestCost {
    std::int64_t nanodollars = 0;
    // False when the table has no price for the model: the request is "unpriced", not free.
    bool priced = false;

    friend bool operator==(const RequestCost &, const RequestCost &) = default;
};

// The dated price table shipped beside the tool. Each request is priced when it is counted,
// with the prices in force on its day and the long-context tier its own prompt reaches.
//
// Cache prices are the table's own for each model. Where the table leaves one out, the
// maker's rule fills it in: Anthropic charges 1.25 times the input price for writing the
// 5-minute cache, twice for the 1-hour cache, and a tenth for reading it; other makers charge
// no surcharge for writes, and their cache reads are priced as input, since the share they
// take off varies by model.
class PriceTable {
public:
    // An empty table: every request is unpriced.
    PriceTable();

    // The table beside the running tool, loaded once; an empty table when there is none.
    static const PriceTable &shipped();
    // Where shipped() looks: prices.json in the executable's folder.
    static std::string shippedPath();
    // A table in the shipped format. Throws ToolError naming what is wrong.
    static PriceTable parse(std::string_view json);

    RequestCost price(Provider provider, std::string_view model, const TokenSplit &split,
                      DayNumber day) const;

    // The table's entry for a model as `provider` logs it ("anthropic/claude-sonnet-4-5"),
    // nullopt when the table has none.
    std::optional<std::string> entryFor(Provider provider, std::string_view model) const;

    // Names the table's contents (its source and date): counts priced under another table are
    // priced again.
    const std::string &version() const { return m_version; }

private:
    const ModelPrices *find(Provider provider, std::string_view model) const;
    const ModelPrices *resolve(Provider provider, std::string_view model) const;

    std::string m_version;
    std::shared_ptr<const PriceData> m_data;
    // Tells tables apart in the per-thread cache of resolved names.
    std::uint64_t m_serial = 0;
};
