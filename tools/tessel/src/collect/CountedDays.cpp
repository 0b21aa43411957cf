#include "collect/CountedDays.h"

#include <algorithm>

std::string dropUncountedDays(std::vector<UsageRecord> &records, const std::string &source) {
    const auto uncounted = [](const UsageRecord &record) { return !isCountedDay(record.day); };
    const auto dropped = static_cast<size_t>(
        std::count_if(records.begin(), records.end(), [&](const UsageRecord &record) {
            return uncounted(record) && !record.mark;
        }));
    std::erase_if(records, uncounted);
    if (dropped == 0)
        return {};
    return "skipped " + std::to_string(dropped) +
           (dropped == 1 ? " usage entry" : " usage entries") + " of " + source +
           " dated outside the years 1970 to 9999";
}
