#pragma once

#include "providers/UsageRecord.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

// Every message counted so far, by identity, with the copy that was counted and the day it
// was filed under. It lets a later collection recognise a message it has seen in another file
// or an earlier run, and replace a copy by a fuller one, moving the tokens from the old copy's
// day to the new one's. What was loaded stays the state file's sorted array, searched in
// place and never decoded whole; entries new or changed in this run live in a flat hash table
// that overrides it, and the two are merged in one pass when the index is saved.
class MessageIndex {
public:
    struct Entry {
        std::uint64_t key;
        std::int64_t tokens;
        std::int64_t rank;
        DayNumber day;
        std::uint32_t source;
        Provider provider;
        // Taken back: hides the loaded entry of the same key.
        bool removed = false;

        friend bool operator==(const Entry &, const Entry &) = default;
    };

    // Counts a batch into `totals`, in order. Records without a key always count; of the
    // copies of one message (in the batch or already indexed) the one with the largest rank
    // counts, the earliest among equals. A record whose content was claimed by another key
    // counts nothing.
    void merge(const std::vector<UsageRecord> &batch, DayTotals &totals);

    // Takes back from `totals` everything counted from the given files and forgets it, for
    // files that are read again from their start.
    void retract(const std::unordered_set<std::uint32_t> &sources, DayTotals &totals);

    // An entry as stored in the state file: packed, little-endian.
#pragma pack(push, 1)
    struct Stored {
        std::uint64_t key;
        std::int64_t tokens;
        std::int64_t rank;
        std::int32_t day;
        std::uint32_t source;
        std::uint8_t provider;
    };
#pragma pack(pop)

    // At least the number of entries (removed ones may be among them).
    std::size_t sizeHint() const {
        return m_storedCount + m_added.size();
    }
    // Hands out every entry in key order. Afterwards the index is only good for destruction.
    void forEachSorted(const std::function<void(const Stored &)> &visit);

    // True when `count` stored entries at `data` are sorted by key without repeats, name known
    // providers and counted days, and hold no negative tokens.
    static bool validStored(const char *data, std::size_t count);
    // Takes `count` valid stored entries at `data`, which `owner` keeps alive and which are
    // read in place.
    void assignStored(const char *data, std::size_t count, std::shared_ptr<const void> owner);

private:
    Entry *find(std::uint64_t key);
    Entry *insert(const Entry &entry);
    void grow();
    // True when `record` may count: its content is unclaimed or claimed by its own key.
    bool claimContent(const UsageRecord &record);

    const char *m_stored = nullptr;
    std::size_t m_storedCount = 0;
    std::shared_ptr<const void> m_storedOwner;
    // Open addressing over m_added: a slot holds an index + 1, or 0 when empty.
    std::vector<Entry> m_added;
    std::vector<std::uint32_t> m_slots;
};
