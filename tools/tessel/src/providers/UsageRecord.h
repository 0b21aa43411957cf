#pragma once

#include "base/Day.h"
#include "providers/Provider.h"

#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

inline std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return sum;
}

// The kinds of tokens a usage event is made of. Cache reads and writes are apart from input
// (a tool whose input figure includes its cache has it subtracted), and reasoning is apart from
// output, so the five add up to the event's tokens.
struct TokenSplit {
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cacheRead = 0;
    std::int64_t cacheWrite = 0;
    std::int64_t reasoning = 0;
    // Of cacheWrite, the part written for an hour rather than minutes (priced higher by some).
    std::int64_t cacheWriteLong = 0;

    std::int64_t sum() const {
        return saturatingAdd(
            saturatingAdd(saturatingAdd(input, output), saturatingAdd(cacheRead, cacheWrite)),
            reasoning);
    }
    friend bool operator==(const TokenSplit &, const TokenSplit &) = default;
};

// `split` scaled so that its parts add up to `tokens` (a counted increase can differ from the
// turn the line describes); the rounding remainder goes to the largest part, and a split of
// nothing puts everything under input.
TokenSplit fittedSplit(const TokenSplit &split, std::int64_t tokens);

// A name a usage event was spent under (a model, a project folder), known by a 64-bit hash of
// its text; 0 means unknown. The texts travel beside the records in a NameTable.
using NameId = std::uint64_t;

class NameTable {
public:
    // The id of `text` (0 for an empty text), remembering the text.
    NameId add(std::string_view text);
    const std::string *find(NameId id) const;
    void merge(const NameTable &other);
    const std::unordered_map<NameId, std::string> &entries() const { return m_names; }
    void insert(NameId id, std::string text) { m_names.emplace(id, std::move(text)); }

private:
    std::unordered_map<NameId, std::string> m_names;
};

// Tokens of one counted event: a message, or the increase of a session's running total.
struct UsageRecord {
    // Identity of the message across copies and files; 0 when the tool gives none, and the
    // collector then knows it by the bytes of its line or document.
    std::uint64_t key = 0;
    std::int64_t tokens = 0;
    // Of several copies of one message the one with the largest rank counts.
    std::int64_t rank = 0;
    // A second identity, the message's content, for tools that copy a message under a new
    // key: once one key has claimed a content, records of other keys with it count nothing.
    std::uint64_t content = 0;
    // What the tokens are made of, and the model and project they were spent on.
    TokenSplit split;
    NameId model = 0;
    NameId project = 0;
    // The file or database the record was read from (FileState::id), so that one read again
    // from its start can take back what it counted before.
    std::uint32_t source = 0;
    DayNumber day = 0;
    Provider provider = Provider::claude;
    // Not usage of its own but a mark that outranks other copies of a message (a sidechain
    // replay of a main-chain message).
    bool mark = false;
};

// Tokens of one local day, indexed by providerIndex(), and which providers' logs were seen on
// that day (bit providerIndex()): only those figures are taken over into the history.
struct DayCount {
    std::array<std::int64_t, providerCount> tokens{};
    std::uint32_t covered = 0;

    bool covers(size_t provider) const { return (covered >> provider) & 1; }
    friend bool operator==(const DayCount &, const DayCount &) = default;
};
static_assert(providerCount <= 32, "DayCount::covered holds a bit per provider");
using DayTotals = std::map<DayNumber, DayCount>;

inline void addTokens(DayTotals &totals, DayNumber day, Provider provider, std::int64_t tokens) {
    DayCount &count = totals[day];
    auto &slot = count.tokens[providerIndex(provider)];
    slot = saturatingAdd(slot, tokens);
    count.covered |= std::uint32_t{1} << providerIndex(provider);
}

// A per-field ceiling for token counts read from logs: no real message comes near it, so a
// larger figure marks a corrupt line rather than usage.
inline constexpr std::int64_t maxTokensPerField = 1'000'000'000'000;

// A stable 64-bit identity for a message: FNV-1a over the parts, then a final mix. Never 0.
std::uint64_t messageKey(Provider provider, std::string_view id, std::string_view second = {});
// The final mix of messageKey, for readers that hash figures rather than text. Never 0.
std::uint64_t finishedKey(std::uint64_t hash);

// messageKey(provider, id, second) taken in steps, for many keys whose second parts begin
// alike (the paths of the files in one folder): the shared beginning is hashed once and
// continued for each.
class MessageKeyInProgress {
public:
    MessageKeyInProgress(Provider provider, std::string_view id);
    // The key so far, with `more` added to the end of its second part.
    MessageKeyInProgress then(std::string_view more) const;
    // messageKey(provider, id, all that was added).
    std::uint64_t key() const;

private:
    explicit MessageKeyInProgress(std::uint64_t hash) : m_hash(hash) {}
    std::uint64_t m_hash;
};
