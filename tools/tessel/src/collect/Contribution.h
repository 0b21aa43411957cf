#pragma once

#include "providers/UsageRecord.h"

#include <cstddef>
#include <cstdint>

// What one copy of a message adds to the figures while it is the copy that counts: its tokens
// split by kind under a breakdown row (day, tool, model, project), and what it would cost at
// API prices. The message index keeps one per copy, so that whatever replaces or takes back a
// copy moves exactly what it added.
struct Contribution {
    // Of the copies of one message the one with the largest rank counts.
    std::int64_t rank = 0;
    // The message's second identity, its content (0 when the tool gives none).
    std::uint64_t content = 0;
    TokenSplit split;
    // Nanodollars, while counted and priced.
    std::int64_t costNanodollars = 0;
    // The index of its (day, tool, model, project) in the message index's row table.
    std::uint32_t row = 0;
    bool counted = false;
    // Counted, but the price table has no price for its model.
    bool unpriced = false;
    // Taken back in this collection; never stored.
    bool removed = false;

    std::int64_t tokens() const { return split.sum(); }
    friend bool operator==(const Contribution &, const Contribution &) = default;
};

// No log gives a figure near this; the message index holds none larger, so that sums of a
// contribution's parts never overflow.
inline constexpr std::int64_t largestContributionFigure = std::int64_t{1} << 56;

// A contribution takes a flag byte, then variable-length numbers (seven bits a byte: a part
// of a few thousand tokens takes two bytes): about 17 bytes for a Claude Code message.
inline constexpr std::size_t maxContributionSize = 1 + 10 + 5 + 6 * 10 + 10 + 8;

// Writes `contribution` at `out`, which has room for maxContributionSize bytes, and answers
// how many bytes it took.
std::size_t encodeContribution(const Contribution &contribution, char *out);

// Reads one contribution from [at, end) and moves `at` past it; false when the bytes are not
// one this encoder writes (negative or oversized figures among them).
bool decodeContribution(const char *&at, const char *end, Contribution &contribution);
