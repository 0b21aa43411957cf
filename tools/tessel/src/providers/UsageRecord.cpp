#include "providers/UsageRecord.h"

#include <algorithm>

namespace {

constexpr std::uint64_t fnvPrime = 1099511628211ull;

std::uint64_t fnvBytes(std::uint64_t hash, std::string_view text) {
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= fnvPrime;
    }
    return hash;
}

// A part ends in a separator, so ("ab","c") and ("a","bc") differ.
std::uint64_t fnvEnd(std::uint64_t hash) {
    return (hash ^ 0xff) * fnvPrime;
}

std::uint64_t fnvMix(std::uint64_t hash, std::string_view text) {
    return fnvEnd(fnvBytes(hash, text));
}

// splitmix64 finaliser: spreads FNV's weak low bits over the whole word. Never 0.
std::uint64_t finish(std::uint64_t hash) {
    hash ^= hash >> 30;
    hash *= 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 27;
    hash *= 0x94d049bb133111ebull;
    hash ^= hash >> 31;
    return hash == 0 ? 1 : hash;
}

constexpr std::uint64_t fnvOffset = 14695981039346656037ull;

} // namespace

std::uint64_t messageKey(Provider provider, std::string_view id, std::string_view second) {
    std::uint64_t hash = fnvMix(fnvOffset, providerId(provider));
    hash = fnvMix(hash, id);
    return finish(fnvMix(hash, second));
}

std::uint64_t finishedKey(std::uint64_t hash) {
    return finish(hash);
}

MessageKeyInProgress::MessageKeyInProgress(Provider provider, std::string_view id)
    : m_hash(fnvMix(fnvMix(fnvOffset, providerId(provider)), id)) {}

MessageKeyInProgress MessageKeyInProgress::then(std::string_view more) const {
    return MessageKeyInProgress(fnvBytes(m_hash, more));
}

std::uint64_t MessageKeyInProgress::key() const {
    return finish(fnvEnd(m_hash));
}

TokenSplit fittedSplit(const TokenSplit &split, std::int64_t tokens) {
    const std::int64_t whole = split.sum();
    if (whole == tokens)
        return split;
    TokenSplit fitted;
    if (whole <= 0 || tokens <= 0) {
        fitted.input = std::max<std::int64_t>(tokens, 0);
        return fitted;
    }
    const auto scaled = [&](std::int64_t part) {
        return static_cast<std::int64_t>(static_cast<long double>(part) * tokens / whole);
    };
    std::int64_t *parts[] = {&fitted.input, &fitted.output, &fitted.cacheRead, &fitted.cacheWrite,
                             &fitted.reasoning};
    const std::int64_t sources[] = {split.input, split.output, split.cacheRead, split.cacheWrite,
                                    split.reasoning};
    std::int64_t assigned = 0;
    size_t largest = 0;
    for (size_t i = 0; i < 5; ++i) {
        *parts[i] = scaled(sources[i]);
        assigned += *parts[i];
        if (sources[i] > sources[largest])
            largest = i;
    }
    *parts[largest] += tokens - assigned;
    fitted.cacheWriteLong = std::min(scaled(split.cacheWriteLong), fitted.cacheWrite);
    return fitted;
}

NameId NameTable::add(std::string_view text) {
    if (text.empty())
        return 0;
    const NameId id = finish(fnvMix(fnvOffset, text));
    m_names.try_emplace(id, text);
    return id;
}

const std::string *NameTable::find(NameId id) const {
    const auto found = m_names.find(id);
    return found == m_names.end() ? nullptr : &found->second;
}

void NameTable::merge(const NameTable &other) {
    for (const auto &[id, text] : other.m_names)
        m_names.try_emplace(id, text);
}
