#pragma once

#include "providers/ProviderDefinition.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

// Hands a fuzz input to a tool's reader of whole documents, and checks what any read must
// hold: no negative tokens, splits that add up, names that travel with their records, days
// LocalDays can give.
inline void checkDocument(const ProviderDefinition &provider, const std::uint8_t *data, size_t size,
                          std::string_view path) {
    LocalDays days;
    NameTable names;
    ReadContext context{days, names, path};
    std::vector<UsageRecord> records;
    // As the collector hands documents over: followed by readable padding.
    std::vector<char> padded(data, data + size);
    padded.resize(size + documentPadding, '\0');
    const std::string_view json(padded.data(), size);
    // The collector drops what a malformed document gave.
    if (provider.parseDocument(context, json, records) == ParseOutcome::malformed)
        return;
    for (const UsageRecord &record : records)
        if (record.tokens < 0 || record.key == 0 || record.split.sum() != record.tokens ||
            record.day < firstCountedDay - 1 || record.day > lastCountedDay + 1 ||
            (record.model != 0 && !names.find(record.model)) ||
            (record.project != 0 && !names.find(record.project)))
            std::abort();
}
