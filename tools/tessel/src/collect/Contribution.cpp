#include "collect/Contribution.h"

#include <cstring>

namespace {

enum Flag : std::uint8_t {
    counted = 1,
    unpriced = 2,
    hasContent = 4,
    removed = 8,
};
constexpr std::uint8_t knownFlags = counted | unpriced | hasContent | removed;
constexpr auto largestFigure = static_cast<std::uint64_t>(largestContributionFigure);

char *putNumber(char *out, std::uint64_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<char>(value | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<char>(value);
    return out;
}

bool getNumber(const char *&at, const char *end, std::uint64_t &value) {
    // Most figures of a contribution are small or zero.
    if (at != end && (*at & 0x80) == 0) {
        value = static_cast<unsigned char>(*at++);
        return true;
    }
    value = 0;
    for (unsigned shift = 0; shift < 64 && at != end; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        value |= std::uint64_t{byte & 0x7fu} << shift;
        if ((byte & 0x80) == 0)
            return shift < 63 || byte <= 1;
    }
    return false;
}

std::uint64_t zigzag(std::int64_t value) {
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

std::int64_t unzigzag(std::uint64_t value) {
    return static_cast<std::int64_t>(value >> 1) ^ -static_cast<std::int64_t>(value & 1);
}

std::uint64_t figure(std::int64_t value) {
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

} // namespace

std::size_t encodeContribution(const Contribution &contribution, char *out) {
    const char *start = out;
    const bool priced = contribution.counted && !contribution.unpriced;
    *out++ = static_cast<char>(
        (contribution.counted ? counted : 0) | (contribution.unpriced ? unpriced : 0) |
        (contribution.content != 0 ? hasContent : 0) | (contribution.removed ? removed : 0));
    out = putNumber(out, zigzag(contribution.rank));
    out = putNumber(out, contribution.row);
    const TokenSplit &split = contribution.split;
    for (const std::int64_t part : {split.input, split.output, split.cacheRead, split.cacheWrite,
                                    split.reasoning, split.cacheWriteLong})
        out = putNumber(out, figure(part));
    if (priced)
        out = putNumber(out, figure(contribution.costNanodollars));
    if (contribution.content != 0) {
        std::memcpy(out, &contribution.content, sizeof contribution.content);
        out += sizeof contribution.content;
    }
    return static_cast<std::size_t>(out - start);
}

bool decodeContribution(const char *&at, const char *end, Contribution &contribution) {
    if (at == end)
        return false;
    const auto flags = static_cast<std::uint8_t>(*at++);
    if ((flags & ~knownFlags) != 0 || ((flags & unpriced) && !(flags & counted)))
        return false;
    contribution = {};
    contribution.counted = flags & counted;
    contribution.unpriced = flags & unpriced;
    contribution.removed = flags & removed;
    std::uint64_t value;
    if (!getNumber(at, end, value))
        return false;
    contribution.rank = unzigzag(value);
    if (!getNumber(at, end, value) || value > UINT32_MAX)
        return false;
    contribution.row = static_cast<std::uint32_t>(value);
    TokenSplit &split = contribution.split;
    for (std::int64_t *part : {&split.input, &split.output, &split.cacheRead, &split.cacheWrite,
                               &split.reasoning, &split.cacheWriteLong}) {
        if (!getNumber(at, end, value) || value > largestFigure)
            return false;
        *part = static_cast<std::int64_t>(value);
    }
    if (split.cacheWriteLong > split.cacheWrite)
        return false;
    if (contribution.counted && !contribution.unpriced) {
        if (!getNumber(at, end, value) || value > largestFigure)
            return false;
        contribution.costNanodollars = static_cast<std::int64_t>(value);
    }
    if (flags & hasContent) {
        if (end - at < static_cast<std::ptrdiff_t>(sizeof contribution.content))
            return false;
        std::memcpy(&contribution.content, at, sizeof contribution.content);
        at += sizeof contribution.content;
        if (contribution.content == 0)
            return false;
    }
    return true;
}
