#include "collect/Pricing.h"

Pricing Pricing::shipped() {
    const PriceTable &table = PriceTable::shipped();
    return {table.version(),
            [&table](Provider provider, std::string_view model, const TokenSplit &split,
                     DayNumber day) { return table.price(provider, model, split, day); }};
}
