#include "MessageIndex.h"

#include <algorithm>
#include <cstring>

std::uint64_t messageKey(Provider provider, std::string_view id, std::string_view second) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::string_view text) {
        for (const unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        hash ^= 0xff; // separator, so ("ab","c") and ("a","bc") differ
        hash *= 1099511628211ull;
    };
    mix(providerId(provider));
    mix(id);
    mix(second);
    // splitmix64 finaliser: spreads FNV's weak low bits over the whole word.
    hash ^= hash >> 30;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 27;
    hash *= 0x94d049bb133111ebull;
    hash ^= hash >> 31;
    return hash == 0 ? 1 : hash;
}

bool MessageIndex::validStored(const char *data, std::size_t count) {
    std::uint64_t previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Stored stored;
        std::memcpy(&stored, data + i * sizeof(Stored), sizeof stored);
        if (stored.provider > 2 || (i > 0 && stored.key <= previous) || stored.tokens < 0 ||
            !isCountedDay(stored.day))
            return false;
        previous = stored.key;
    }
    return true;
}

void MessageIndex::assignStored(const char *data, std::size_t count,
                                std::shared_ptr<const void> owner) {
    m_sorted.clear();
    m_added.clear();
    m_stored = data;
    m_storedCount = count;
    m_storedOwner = std::move(owner);
}

void MessageIndex::decodeStored() const {
    if (!m_stored)
        return;
    m_sorted.resize(m_storedCount);
    for (std::size_t i = 0; i < m_storedCount; ++i) {
        Stored stored;
        std::memcpy(&stored, m_stored + i * sizeof(Stored), sizeof stored);
        m_sorted[i] = {stored.key, stored.tokens, stored.rank, stored.day,
                       static_cast<Provider>(stored.provider)};
    }
    m_stored = nullptr;
    m_storedOwner.reset();
}

MessageIndex::Entry *MessageIndex::find(std::uint64_t key) {
    decodeStored();
    const auto at =
        std::lower_bound(m_sorted.begin(), m_sorted.end(), key,
                         [](const Entry &entry, std::uint64_t k) { return entry.key < k; });
    if (at != m_sorted.end() && at->key == key)
        return &*at;
    const auto added = m_added.find(key);
    return added == m_added.end() ? nullptr : &added->second;
}

void MessageIndex::merge(const std::vector<UsageRecord> &batch, DayTotals &totals) {
    for (const UsageRecord &record : batch) {
        if (record.key == 0) {
            addTokens(totals, record.day, record.provider, record.tokens);
            continue;
        }
        const Entry fresh{record.key, record.tokens, record.rank, record.day, record.provider};
        if (Entry *known = find(record.key)) {
            if (record.rank > known->rank) {
                addTokens(totals, known->day, known->provider, -known->tokens);
                addTokens(totals, record.day, record.provider, record.tokens);
                *known = fresh;
            }
        } else {
            addTokens(totals, record.day, record.provider, record.tokens);
            m_added.emplace(record.key, fresh);
        }
    }
}

std::vector<MessageIndex::Entry> MessageIndex::sortedEntries() const {
    decodeStored();
    std::vector<Entry> added;
    added.reserve(m_added.size());
    for (const auto &[key, entry] : m_added)
        added.push_back(entry);
    std::sort(added.begin(), added.end(),
              [](const Entry &a, const Entry &b) { return a.key < b.key; });
    std::vector<Entry> all(m_sorted.size() + added.size());
    std::merge(m_sorted.begin(), m_sorted.end(), added.begin(), added.end(), all.begin(),
               [](const Entry &a, const Entry &b) { return a.key < b.key; });
    return all;
}
