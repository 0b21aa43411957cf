#pragma once

#include "UsageRecord.h"

#include <cstdint>
#include <memory>
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

    // An entry as stored in the state file: packed, little-endian.
#pragma pack(push, 1)
    struct Stored {
        std::uint64_t key;
        std::int64_t tokens;
        std::int64_t rank;
        std::int32_t day;
        std::uint8_t provider;
    };
#pragma pack(pop)

    // All entries, sorted by key.
    std::vector<Entry> sortedEntries() const;

    // True when `count` stored entries at `data` are sorted by key without repeats, name known
    // providers and counted days, and hold no negative tokens.
    static bool validStored(const char *data, std::size_t count);
    // Takes `count` valid stored entries at `data`, which `owner` keeps alive. They are only
    // decoded when a collection has something to merge, so one with nothing new skips them.
    void assignStored(const char *data, std::size_t count, std::shared_ptr<const void> owner);

private:
    Entry *find(std::uint64_t key);
    void decodeStored() const;

    mutable std::vector<Entry> m_sorted;
    mutable const char *m_stored = nullptr;
    mutable std::size_t m_storedCount = 0;
    mutable std::shared_ptr<const void> m_storedOwner;
    std::unordered_map<std::uint64_t, Entry> m_added;
};
