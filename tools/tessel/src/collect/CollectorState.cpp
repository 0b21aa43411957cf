#include "collect/CollectorState.h"

#include "base/AtomicFile.h"
#include "base/BinaryCoding.h"
#include "base/Errors.h"
#include "base/MappedFile.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

constexpr char magic[8] = {'T', 'E', 'S', 'S', 'E', 'L', 'S', 'T'};
constexpr std::uint32_t formatVersion = 5;

// A file table entry and a breakdown row as stored.
constexpr size_t fileSize = 8 * 6 + 4 + 8 * 2 + 8 * 2 + 1;
constexpr size_t rowSize = 4 + 1 + 8 + 8;
// The smallest stored copy: key, source and the smallest contribution, and its offset.
constexpr size_t smallestCopy = 8 + 4 + 9 + 4;

// Adds what a counted copy contributes to its row.
void addTo(BreakdownFigures &figures, const Contribution &contribution) {
    const TokenSplit &split = contribution.split;
    TokenSplit &sum = figures.split;
    sum.input = saturatingAdd(sum.input, split.input);
    sum.output = saturatingAdd(sum.output, split.output);
    sum.cacheRead = saturatingAdd(sum.cacheRead, split.cacheRead);
    sum.cacheWrite = saturatingAdd(sum.cacheWrite, split.cacheWrite);
    sum.reasoning = saturatingAdd(sum.reasoning, split.reasoning);
    sum.cacheWriteLong = saturatingAdd(sum.cacheWriteLong, split.cacheWriteLong);
    figures.tokens = saturatingAdd(figures.tokens, contribution.tokens());
    if (contribution.unpriced)
        figures.unpricedTokens = saturatingAdd(figures.unpricedTokens, contribution.tokens());
    else
        figures.costNanodollars =
            saturatingAdd(figures.costNanodollars, contribution.costNanodollars);
}

} // namespace

std::uint64_t fileKey(std::string_view prefix, std::string_view name) {
    return messageKey(Provider::claude, prefix, name);
}

MessageKeyInProgress fileKeyStart(std::string_view prefix) {
    return MessageKeyInProgress(Provider::claude, prefix);
}

std::uint64_t stateChecksum(std::string_view bytes) {
    return binaryChecksum(bytes.data(), bytes.size());
}

namespace {

void putState(BinaryWriter &out, CollectorState &state, Breakdown *breakdown) {
    for (const char c : magic)
        out.put(c);
    out.put(formatVersion);
    out.put(countingRules);
    out.putText(state.priceVersion);
    out.put(state.nextFileId);
    // A day holds the figures of the providers it covers only, so a new provider changes
    // nothing of the format.
    out.put(static_cast<std::uint64_t>(state.totals.size()));
    for (const auto &[day, count] : state.totals) {
        out.put(day);
        out.put(count.covered);
        for (size_t provider = 0; provider < providerCount; ++provider)
            if (count.covers(provider))
                out.put(count.tokens[provider]);
    }
    out.put(static_cast<std::uint64_t>(state.files.size()));
    state.files.forEach([&](std::uint64_t key, const FileState &file) {
        out.put(key);
        out.put(file.size);
        out.put(file.mtimeNs);
        out.put(file.inode);
        out.put(file.offset);
        out.put(file.tailHash);
        out.put(file.id);
        out.put(file.session.numbers[0]);
        out.put(file.session.numbers[1]);
        out.put(file.session.model);
        out.put(file.session.project);
        out.put(file.session.flags);
    });
    // Sorted, so the same state always gives the same bytes.
    std::vector<std::pair<NameId, const std::string *>> names;
    for (const auto &[id, text] : state.names.entries())
        names.emplace_back(id, &text);
    std::sort(names.begin(), names.end());
    out.put(static_cast<std::uint64_t>(names.size()));
    for (const auto &[id, text] : names) {
        out.put(id);
        out.putText(*text);
    }
    const std::vector<BreakdownKey> rows = state.index.rows();
    out.put(static_cast<std::uint64_t>(rows.size()));
    for (const BreakdownKey &row : rows) {
        out.put(row.day);
        out.put(static_cast<std::uint8_t>(row.provider));
        out.put(row.model);
        out.put(row.project);
    }

    // The copies back to back, then where each starts. Their count and size go before them;
    // both are known once they are written.
    const std::uint64_t countAt = out.position();
    out.put(std::uint64_t{0});
    out.put(std::uint64_t{0});
    const std::uint64_t bodyAt = out.position();
    std::vector<std::uint32_t> offsets;
    offsets.reserve(state.index.sizeHint());
    std::vector<BreakdownFigures> sums(breakdown ? rows.size() : 0);
    state.index.forEachSorted([&](std::uint64_t key, std::uint32_t source,
                                  const Contribution &contribution, std::string_view encoded) {
        const std::uint64_t at = out.position() - bodyAt;
        if (at > UINT32_MAX)
            throw ToolError("the collector's state has grown past 4 GiB");
        offsets.push_back(static_cast<std::uint32_t>(at));
        out.put(key);
        out.put(source);
        out.putBytes(encoded.data(), encoded.size());
        if (breakdown && contribution.counted)
            addTo(sums[contribution.row], contribution);
    });
    const std::uint64_t count = offsets.size();
    const std::uint64_t bodySize = out.position() - bodyAt;
    out.overwrite(countAt, &count, sizeof count);
    out.overwrite(countAt + sizeof count, &bodySize, sizeof bodySize);
    out.putBytes(offsets.data(), offsets.size() * sizeof(std::uint32_t));
    out.putChecksum();

    if (breakdown) {
        *breakdown = {};
        breakdown->priceTableVersion = state.priceVersion;
        for (size_t row = 0; row < rows.size(); ++row) {
            if (sums[row] == BreakdownFigures{})
                continue;
            breakdown->rows[rows[row]] = sums[row];
            for (const NameId id : {rows[row].model, rows[row].project})
                if (const std::string *text = state.names.find(id))
                    breakdown->names.insert(id, *text);
        }
    }
}

} // namespace

std::string serializeState(CollectorState &state, Breakdown *breakdown) {
    BinaryWriter out;
    out.bytes().reserve(state.files.size() * 100 + state.index.sizeHint() * 40);
    putState(out, state, breakdown);
    return std::move(out.bytes());
}

void writeState(AtomicFileWriter &file, CollectorState &state, Breakdown *breakdown) {
    BinaryWriter out(file);
    putState(out, state, breakdown);
}

std::optional<CollectorState> deserializeState(std::string_view bytes,
                                               std::shared_ptr<const void> owner,
                                               const MessageIndex::BytesDone &done) {
    if (bytes.size() < sizeof magic || std::memcmp(bytes.data(), magic, sizeof magic) != 0 ||
        !checksumMatches(bytes, done))
        return std::nullopt;
    try {
        BinaryReader in(bytes.data() + sizeof magic,
                        bytes.size() - sizeof magic - sizeof(std::uint64_t));
        if (in.get<std::uint32_t>() != formatVersion || in.get<std::uint32_t>() != countingRules)
            return std::nullopt;
        CollectorState state;
        state.priceVersion = in.getText();
        state.nextFileId = in.get<std::uint32_t>();
        for (auto count = in.getCount(8); count > 0; --count) {
            const auto dayNumber = in.get<DayNumber>();
            if (!isCountedDay(dayNumber))
                return std::nullopt;
            DayCount &day = state.totals[dayNumber];
            day.covered = in.get<std::uint32_t>();
            if (day.covered >> providerCount != 0)
                return std::nullopt;
            for (size_t provider = 0; provider < providerCount; ++provider)
                if (day.covers(provider))
                    day.tokens[provider] = in.get<std::int64_t>();
        }
        const auto fileCount = in.getCount(fileSize);
        // With room for the files a collect usually adds, which then take their places
        // without the table growing by doubling.
        state.files.reserve(fileCount + fileCount / 16 + 256);
        const char *filesDone = in.at();
        std::uint64_t previousKey = 0;
        for (auto count = fileCount; count > 0; --count) {
            if (done && count % 16384 == 0) {
                done(filesDone, in.at());
                filesDone = in.at();
            }
            const auto key = in.get<std::uint64_t>();
            FileState file;
            file.size = in.get<std::uint64_t>();
            file.mtimeNs = in.get<std::int64_t>();
            file.inode = in.get<std::uint64_t>();
            file.offset = in.get<std::uint64_t>();
            file.tailHash = in.get<std::uint64_t>();
            file.id = in.get<std::uint32_t>();
            file.session.numbers[0] = in.get<std::int64_t>();
            file.session.numbers[1] = in.get<std::int64_t>();
            file.session.model = in.get<NameId>();
            file.session.project = in.get<NameId>();
            file.session.flags = in.get<std::uint8_t>();
            if (file.id >= state.nextFileId)
                return std::nullopt;
            // Written in key order, each key once, so each goes at the end.
            if (state.files.size() > 0 && key <= previousKey)
                return std::nullopt;
            previousKey = key;
            state.files.set(key, file);
        }
        for (auto count = in.getCount(12); count > 0; --count) {
            const auto id = in.get<NameId>();
            state.names.insert(id, in.getText());
        }
        std::vector<BreakdownKey> rows(in.getCount(rowSize));
        for (BreakdownKey &row : rows) {
            row.day = in.get<DayNumber>();
            const auto provider = in.get<std::uint8_t>();
            row.model = in.get<NameId>();
            row.project = in.get<NameId>();
            if (provider >= providerCount || !isCountedDay(row.day))
                return std::nullopt;
            row.provider = static_cast<Provider>(provider);
        }
        const auto count = in.getCount(smallestCopy);
        const auto bodySize = in.get<std::uint64_t>();
        if (bodySize > UINT32_MAX)
            return std::nullopt;
        const char *body = in.take(bodySize);
        const char *offsets = in.take(count * sizeof(std::uint32_t));
        bool hasContents = false;
        if (!in.atEnd() || !MessageIndex::validStored(body, bodySize, offsets, count, rows.size(),
                                                      hasContents, done))
            return std::nullopt;
        state.index.assignStored(std::move(rows), body, bodySize, offsets, count, hasContents,
                                 std::move(owner), done);
        return state;
    } catch (const BinaryTruncated &) {
        return std::nullopt;
    }
}

std::optional<CollectorState> loadState(const std::string &path) {
    const auto file = MappedFile::open(path);
    if (!file)
        return std::nullopt; // missing or unreadable: the logs are read again
    return deserializeState(file->bytes(), file,
                            [file](const char *from, const char *to) { file->release(from, to); });
}
