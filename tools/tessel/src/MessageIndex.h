#pragma once

#include "UsageRecord.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

// Every message counted so far, by identity, with the copy that was counted. It lets a later
// collection recognise a message it has seen in another file or an earlier run, and replace a
// copy by a fuller one, adjusting the totals by the difference. What was loaded stays a sorted
// array, compact and searched in place; messages new in this run go to a hash table, and the
// two are merged once, when the index is saved.
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

    // Counts a batch into `totals`, in order. Records without a key always count; of the
    // copies of one message (in the batch or already indexed) the one with the largest rank
    // counts, the earliest among equals.
    void merge(const std::vector<UsageRecord> &batch, DayTotals &totals);

    // All entries, sorted by key.
    std::vector<Entry> sortedEntries() const;
    std::size_t size() const { return m_sorted.size() + m_added.size(); }
    // Takes entries as stored; they must be sorted by key without repeats.
    void assign(std::vector<Entry> entries);

private:
    Entry *find(std::uint64_t key);

    std::vector<Entry> m_sorted;
    std::unordered_map<std::uint64_t, Entry> m_added;
};
