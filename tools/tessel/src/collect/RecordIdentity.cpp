#include "collect/RecordIdentity.h"

#include <cstring>

void identifyByBytes(std::vector<UsageRecord> &records, std::size_t first, std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    if (bytes.ends_with('\r'))
        bytes.remove_suffix(1);
    std::uint32_t place = 0;
    for (std::size_t i = first; i < records.size(); ++i) {
        if (records[i].key != 0)
            continue;
        char tag[1 + sizeof place] = {'\x02'};
        std::memcpy(tag + 1, &place, sizeof place);
        records[i].key = messageKey(records[i].provider, bytes, std::string_view(tag, sizeof tag));
        ++place;
    }
}
