#pragma once

#include "base/Day.h"
#include "providers/Provider.h"

#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <string_view>

// Tokens of one counted event: a message, or the increase of a session's running total.
struct UsageRecord {
    // Identity of the message across copies and files; 0 for events that are never repeated.
    std::uint64_t key = 0;
    std::int64_t tokens = 0;
    // Of several copies of one message the one with the largest rank counts.
    std::int64_t rank = 0;
    // A second identity, the message's content, for tools that copy a message under a new
    // key: once one key has claimed a content, records of other keys with it count nothing.
    std::uint64_t content = 0;
    // The file the record was read from (FileState::id), so that a file read again from its
    // start can take back what it counted before; 0 when not tied to one file.
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
    std::array<std::int64_t, 3> tokens{};
    std::uint8_t covered = 0;

    bool covers(size_t provider) const { return (covered >> provider) & 1; }
    friend bool operator==(const DayCount &, const DayCount &) = default;
};
using DayTotals = std::map<DayNumber, DayCount>;

inline std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return sum;
}

inline void addTokens(DayTotals &totals, DayNumber day, Provider provider, std::int64_t tokens) {
    DayCount &count = totals[day];
    auto &slot = count.tokens[providerIndex(provider)];
    slot = saturatingAdd(slot, tokens);
    count.covered |= static_cast<std::uint8_t>(1u << providerIndex(provider));
}

// A per-field ceiling for token counts read from logs: no real message comes near it, so a
// larger figure marks a corrupt line rather than usage.
inline constexpr std::int64_t maxTokensPerField = 1'000'000'000'000;

// A stable 64-bit identity for a message: FNV-1a over the parts, then a final mix. Never 0.
std::uint64_t messageKey(Provider provider, std::string_view id, std::string_view second = {});
