#include "collect/MessageIndex.h"

#include <algorithm>
#include <cstring>
#include <limits>

bool MessageIndex::validStored(const char *data, std::size_t count) {
    std::uint64_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Stored stored;
        std::memcpy(&stored, data + i * sizeof(Stored), sizeof stored);
        if (stored.provider >= providerCount || (i > 0 && stored.key <= previous) ||
            stored.tokens < 0 || !isCountedDay(stored.day))
            return false;
        previous = stored.key;
    }
    return true;
}

void MessageIndex::assignStored(const char *data, std::size_t count,
                                std::shared_ptr<const void> owner) {
    m_added.clear();
    m_slots.clear();
    m_stored = data;
    m_storedCount = count;
    m_storedOwner = std::move(owner);
}

namespace {

MessageIndex::Stored storedAt(const char *data, std::size_t index) {
    MessageIndex::Stored stored;
    std::memcpy(&stored, data + index * sizeof stored, sizeof stored);
    return stored;
}

std::uint64_t storedKey(const char *data, std::size_t index) {
    std::uint64_t key;
    std::memcpy(&key, data + index * sizeof(MessageIndex::Stored), sizeof key);
    return key;
}

// A claimed content is kept as an entry under the content's key: it names the claiming key in
// place of tokens, and its rank is the largest, so no record ever replaces it.
constexpr std::int64_t claimRank = std::numeric_limits<std::int64_t>::max();

} // namespace

void MessageIndex::grow() {
    const std::size_t size = m_slots.empty() ? 1024 : m_slots.size() * 2;
    m_slots.assign(size, 0);
    for (std::size_t i = 0; i < m_added.size(); ++i) {
        std::size_t slot = m_added[i].key & (size - 1);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & (size - 1);
        m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

MessageIndex::Entry *MessageIndex::insert(const Entry &entry) {
    if ((m_added.size() + 1) * 2 > m_slots.size())
        grow();
    m_added.push_back(entry);
    std::size_t slot = entry.key & (m_slots.size() - 1);
    while (m_slots[slot] != 0)
        slot = (slot + 1) & (m_slots.size() - 1);
    m_slots[slot] = static_cast<std::uint32_t>(m_added.size());
    return &m_added.back();
}

MessageIndex::Entry *MessageIndex::find(std::uint64_t key) {
    if (!m_slots.empty()) {
        for (std::size_t slot = key & (m_slots.size() - 1); m_slots[slot] != 0;
             slot = (slot + 1) & (m_slots.size() - 1)) {
            Entry &entry = m_added[m_slots[slot] - 1];
            if (entry.key == key)
                return entry.removed ? nullptr : &entry;
        }
    }
    // Binary search of the loaded array; a hit is copied into the table, which overrides it.
    std::size_t low = 0, high = m_storedCount;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (storedKey(m_stored, middle) < key)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == m_storedCount || storedKey(m_stored, low) != key)
        return nullptr;
    const Stored stored = storedAt(m_stored, low);
    return insert({stored.key, stored.tokens, stored.rank, stored.day, stored.source,
                   static_cast<Provider>(stored.provider)});
}

bool MessageIndex::claimContent(const UsageRecord &record) {
    if (record.content == 0)
        return true;
    const auto claimer = static_cast<std::int64_t>(record.key);
    if (const Entry *claim = find(record.content))
        return claim->rank == claimRank && claim->tokens == claimer;
    insert({record.content, claimer, claimRank, 0, 0, record.provider});
    return true;
}

void MessageIndex::merge(const std::vector<UsageRecord> &batch, DayTotals &totals) {
    for (const UsageRecord &record : batch) {
        if (record.key == 0) {
            addTokens(totals, record.day, record.provider, record.tokens);
            continue;
        }
        if (!claimContent(record)) {
            // A copy of a message counted under another key: its day has logs, nothing more.
            addTokens(totals, record.day, record.provider, 0);
            continue;
        }
        const Entry fresh{record.key, record.tokens, record.rank,
                          record.day, record.source, record.provider};
        if (Entry *known = find(record.key)) {
            if (record.rank > known->rank) {
                addTokens(totals, known->day, known->provider, -known->tokens);
                addTokens(totals, record.day, record.provider, record.tokens);
                *known = fresh;
            } else {
                addTokens(totals, record.day, record.provider, 0);
            }
        } else {
            addTokens(totals, record.day, record.provider, record.tokens);
            // A key taken back earlier in this run has a hidden slot: revive it.
            bool revived = false;
            if (!m_slots.empty())
                for (std::size_t slot = record.key & (m_slots.size() - 1); m_slots[slot] != 0;
                     slot = (slot + 1) & (m_slots.size() - 1))
                    if (Entry &entry = m_added[m_slots[slot] - 1]; entry.key == record.key) {
                        entry = fresh;
                        revived = true;
                        break;
                    }
            if (!revived)
                insert(fresh);
        }
    }
}

void MessageIndex::retract(const std::unordered_set<std::uint32_t> &sources, DayTotals &totals) {
    if (sources.empty())
        return;
    const auto taken = [&](std::uint32_t source) {
        return source != 0 && sources.contains(source);
    };
    for (Entry &entry : m_added) {
        if (!entry.removed && taken(entry.source)) {
            addTokens(totals, entry.day, entry.provider, -entry.tokens);
            entry.removed = true;
        }
    }
    for (std::size_t i = 0; i < m_storedCount; ++i) {
        const Stored stored = storedAt(m_stored, i);
        if (!taken(stored.source))
            continue;
        // find() copies it into the table unless the table already overrides it.
        if (Entry *entry = find(stored.key); entry && taken(entry->source)) {
            addTokens(totals, entry->day, entry->provider, -entry->tokens);
            entry->removed = true;
        }
    }
}

void MessageIndex::forEachSorted(const std::function<void(const Stored &)> &visit) {
    m_slots.clear();
    std::sort(m_added.begin(), m_added.end(),
              [](const Entry &a, const Entry &b) { return a.key < b.key; });
    std::size_t stored = 0;
    for (const Entry &entry : m_added) {
        for (; stored < m_storedCount && storedKey(m_stored, stored) < entry.key; ++stored)
            visit(storedAt(m_stored, stored));
        if (stored < m_storedCount && storedKey(m_stored, stored) == entry.key)
            ++stored; // overridden
        if (!entry.removed)
            visit({entry.key, entry.tokens, entry.rank, entry.day, entry.source,
                   static_cast<std::uint8_t>(entry.provider)});
    }
    for (; stored < m_storedCount; ++stored)
        visit(storedAt(m_stored, stored));
}
