#include "MessageIndex.h"

#include <algorithm>

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

void MessageIndex::merge(std::vector<UsageRecord> batch, DayTotals &totals) {
    std::vector<UsageRecord> keyed;
    keyed.reserve(batch.size());
    for (const UsageRecord &record : batch) {
        if (record.key == 0)
            addTokens(totals, record.day, record.provider, record.tokens);
        else
            keyed.push_back(record);
    }
    if (keyed.empty())
        return;
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const UsageRecord &a, const UsageRecord &b) { return a.key < b.key; });

    std::vector<Entry> merged;
    merged.reserve(m_entries.size() + keyed.size());
    auto old = m_entries.begin();
    for (size_t i = 0; i < keyed.size();) {
        // The best copy of this key within the batch.
        size_t best = i, j = i + 1;
        for (; j < keyed.size() && keyed[j].key == keyed[i].key; ++j)
            if (keyed[j].rank > keyed[best].rank)
                best = j;
        const UsageRecord &record = keyed[best];
        i = j;

        while (old != m_entries.end() && old->key < record.key)
            merged.push_back(*old++);
        const Entry fresh{record.key, record.tokens, record.rank, record.day, record.provider};
        if (old != m_entries.end() && old->key == record.key) {
            if (record.rank > old->rank) {
                addTokens(totals, old->day, old->provider, -old->tokens);
                addTokens(totals, record.day, record.provider, record.tokens);
                merged.push_back(fresh);
            } else {
                merged.push_back(*old);
            }
            ++old;
        } else {
            addTokens(totals, record.day, record.provider, record.tokens);
            merged.push_back(fresh);
        }
    }
    merged.insert(merged.end(), old, m_entries.end());
    m_entries = std::move(merged);
}
