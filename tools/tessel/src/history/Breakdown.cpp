#include "history/Breakdown.h"

#include "base/AtomicFile.h"
#include "base/BinaryCoding.h"
#include "base/Errors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr char magic[8] = {'T', 'E', 'S', 'S', 'E', 'L', 'B', 'D'};
constexpr std::uint32_t formatVersion = 1;

// The smallest row: day, provider, two names and nine figures.
constexpr size_t rowSize = 4 + 1 + 8 + 8 + 9 * 8;

void putFigures(BinaryWriter &out, const BreakdownFigures &figures) {
    const TokenSplit &split = figures.split;
    for (const std::int64_t value :
         {split.input, split.output, split.cacheRead, split.cacheWrite, split.reasoning,
          split.cacheWriteLong, figures.tokens, figures.costNanodollars, figures.unpricedTokens})
        out.put(value);
}

BreakdownFigures getFigures(BinaryReader &in) {
    BreakdownFigures figures;
    TokenSplit &split = figures.split;
    for (std::int64_t *value : {&split.input, &split.output, &split.cacheRead, &split.cacheWrite,
                                &split.reasoning, &split.cacheWriteLong, &figures.tokens,
                                &figures.costNanodollars, &figures.unpricedTokens})
        *value = in.get<std::int64_t>();
    return figures;
}

} // namespace

std::optional<Breakdown> readBreakdown(const std::string &path) {
    return readBreakdown(path, firstCountedDay, lastCountedDay);
}

std::optional<Breakdown> readBreakdown(const std::string &path, DayNumber from, DayNumber to) {
    std::string bytes;
    try {
        bytes = readWholeFile(path);
    } catch (const FileError &) {
        return std::nullopt; // missing or unreadable: the next collect writes it anew
    }
    if (bytes.size() < sizeof magic || std::memcmp(bytes.data(), magic, sizeof magic) != 0 ||
        !checksumMatches(bytes))
        return std::nullopt;
    try {
        BinaryReader in(bytes.data() + sizeof magic, bytes.size() - sizeof magic - 8);
        if (in.get<std::uint32_t>() != formatVersion)
            return std::nullopt;
        Breakdown breakdown;
        breakdown.priceTableVersion = in.getText();
        for (auto count = in.getCount(12); count > 0; --count) {
            const auto id = in.get<NameId>();
            breakdown.names.insert(id, in.getText());
        }
        for (auto count = in.getCount(rowSize); count > 0; --count) {
            BreakdownKey key;
            key.day = in.get<DayNumber>();
            const auto provider = in.get<std::uint8_t>();
            key.model = in.get<NameId>();
            key.project = in.get<NameId>();
            if (provider >= providerCount || !isCountedDay(key.day))
                return std::nullopt;
            key.provider = static_cast<Provider>(provider);
            const BreakdownFigures figures = getFigures(in);
            // Written in key order: each row goes at the end, without a search.
            if (key.day >= from && key.day <= to)
                breakdown.rows.insert_or_assign(breakdown.rows.end(), key, figures);
        }
        if (!in.atEnd())
            return std::nullopt;
        return breakdown;
    } catch (const BinaryTruncated &) {
        return std::nullopt;
    }
}

void writeBreakdown(const std::string &path, const Breakdown &breakdown) {
    BinaryWriter out;
    out.putBytes(magic, sizeof magic);
    out.put(formatVersion);
    out.putText(breakdown.priceTableVersion);
    // Only the names the rows use, sorted, so the same breakdown always gives the same bytes.
    std::vector<NameId> used;
    for (const auto &[key, figures] : breakdown.rows)
        for (const NameId id : {key.model, key.project})
            if (id != 0 && breakdown.names.find(id))
                used.push_back(id);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    out.put(static_cast<std::uint64_t>(used.size()));
    for (const NameId id : used) {
        out.put(id);
        out.putText(*breakdown.names.find(id));
    }
    out.put(static_cast<std::uint64_t>(breakdown.rows.size()));
    for (const auto &[key, figures] : breakdown.rows) {
        out.put(key.day);
        out.put(static_cast<std::uint8_t>(key.provider));
        out.put(key.model);
        out.put(key.project);
        putFigures(out, figures);
    }
    out.putChecksum();
    replaceFileIfChanged(path, out.bytes());
}
