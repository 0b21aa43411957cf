#pragma once

#include "UsageRecord.h"

#include <cstdint>
#include <vector>

// Every message counted so far, by identity, with the copy that was counted. It lets a later
// collection recognise a message it has seen in another file or an earlier run, and replace a
// copy by a fuller one, adjusting the totals by the difference. Kept as a sorted array: compact
// in memory and on disk, and merged with each batch in one pass.
class MessageIndex {
public:
    struct Entry {
        std::uint64_t key;
        std::int64_t tokens;
        std::int64_t rank;
        DayNumber day;
        Provider provider;

        friend bool operator==(const Entry &, const Entry &) = default;
    };

    // Counts a batch into `totals`. Records without a key always count; of the copies of one
    // message (in the batch or already indexed) the one with the largest rank counts, the
    // earliest among equals.
    void merge(std::vector<UsageRecord> batch, DayTotals &totals);

    const std::vector<Entry> &entries() const { return m_entries; }
    // Takes entries as stored; they must be sorted by key without repeats.
    void assign(std::vector<Entry> entries) { m_entries = std::move(entries); }

private:
    std::vector<Entry> m_entries;
};
