#include "history/Breakdown.h"

std::optional<Breakdown> readBreakdown(const std::string &) {
    return std::nullopt;
}

void writeBreakdown(const std::string &, const Breakdown &) {}
