#include "prices/Prices.h"

const PriceTable &PriceTable::shipped() {
    static const PriceTable table;
    return table;
}

RequestCost PriceTable::price(Provider, std::string_view, const TokenSplit &, DayNumber) const {
    return {};
}
