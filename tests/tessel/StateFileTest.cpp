// The collector's state: its file table behaves as a map whatever order entries come in, and
// the state written a MiB at a time into its file has the same bytes as when it is built in
// memory, whatever falls on either side of a spill, with nothing left behind or replaced by a
// write that did not finish; an index that moves its copies into a file as it grows counts as
// one that keeps them all in memory.
#include "base/AtomicFile.h"
#include "base/BinaryCoding.h"
#include "collect/CollectorState.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <unordered_set>

namespace {

std::string fileText(const std::string &path) {
    return readWholeFile(path);
}

// Random changes, as a collect makes them (entries in key order, then new, gone and moved
// files in any order), leave the table holding what a map would.
TEST(StateFile, TheFileTableHoldsWhatAMapWould) {
    std::mt19937_64 random(7);
    FileTable table;
    std::map<std::uint64_t, FileState> expected;
    const auto stateFor = [](std::uint64_t n) {
        FileState state;
        state.size = n;
        state.id = static_cast<std::uint32_t>(n);
        // Some have a running session, as Codex files do, and some lose it again.
        if (n % 3 != 0)
            state.session.numbers[0] = static_cast<std::int64_t>(n % 5);
        return state;
    };
    for (std::uint64_t key = 100; key < 2000; key += 10) {
        table.set(key, stateFor(key));
        expected[key] = stateFor(key);
    }
    for (int step = 0; step < 20'000; ++step) {
        const std::uint64_t key = random() % 2100, other = random() % 2100;
        switch (random() % 6) {
        case 0:
        case 1:
            table.set(key, stateFor(step));
            expected[key] = stateFor(step);
            break;
        case 2:
            table.erase(key);
            expected.erase(key);
            break;
        case 3:
            table.rename(key, other);
            if (expected.contains(key) && key != other) {
                expected[other] = expected[key];
                expected.erase(key);
            }
            break;
        case 4:
            if (step % 50 == 0) {
                const auto gone = table.eraseIf([&](std::uint64_t k) { return k % 7 == key % 7; });
                EXPECT_EQ(gone, std::erase_if(expected, [&](const auto &entry) {
                              return entry.first % 7 == key % 7;
                          }));
            }
            break;
        default:
            const auto found = table.find(key);
            ASSERT_EQ(found.has_value(), expected.contains(key)) << key;
            ASSERT_EQ(table.contains(key), expected.contains(key)) << key;
            if (found) {
                EXPECT_EQ(*found, expected[key]);
            }
        }
        ASSERT_EQ(table.size(), expected.size());
        if (step % 1000 == 0) {
            std::vector<std::pair<std::uint64_t, FileState>> entries;
            table.forEach(
                [&](std::uint64_t k, const FileState &state) { entries.emplace_back(k, state); });
            ASSERT_TRUE(std::equal(entries.begin(), entries.end(), expected.begin(), expected.end(),
                                   [](const auto &a, const auto &b) {
                                       return a.first == b.first && a.second == b.second;
                                   }));
        }
    }
}

TEST(StateFile, WritingThroughAFileGivesTheBytesOfWritingInMemory) {
    const QTemporaryDir temp;
    const std::string path = temp.path().toStdString() + "/state";
    constexpr size_t mib = size_t{1} << 20;
    // Values written over before the first spill, across its edge and after it.
    for (const size_t overwriteAt : {size_t{8}, mib - 4, mib + 16}) {
        SCOPED_TRACE(overwriteAt);
        BinaryWriter memory;
        AtomicFileWriter file(path);
        BinaryWriter streamed(file);
        for (BinaryWriter *out : {&memory, &streamed}) {
            for (std::uint64_t i = 0; i < (3 * mib) / 8; ++i)
                out->put(i * 0x9e3779b97f4a7c15ull);
            out->putText("tail");
            const std::uint64_t marker = 0x1122334455667788ull;
            out->overwrite(overwriteAt, &marker, sizeof marker);
            out->putChecksum();
        }
        file.commit();
        const std::string written = fileText(path);
        EXPECT_EQ(written.size(), memory.bytes().size());
        EXPECT_TRUE(written == memory.bytes());
        EXPECT_TRUE(checksumMatches(written));
    }
}

CollectorState largeState() {
    CollectorState state;
    state.priceVersion = "test";
    for (std::uint32_t i = 1; i <= 30'000; ++i) {
        FileState file;
        file.size = file.offset = i * 1000;
        file.mtimeNs = i;
        file.inode = i * 7;
        file.tailHash = i * 0x9e3779b97f4a7c15ull;
        file.id = i;
        state.files.set(std::uint64_t{i} * 0x51ed27f3, file);
    }
    state.nextFileId = 30'001;
    static const Pricing pricing{
        "test", [](Provider, std::string_view, const TokenSplit &split, DayNumber) {
            return RequestCost{split.sum(), false};
        }};
    MessageIndex::Counting counting{state.totals, state.names, pricing};
    std::vector<UsageRecord> records;
    for (std::uint32_t i = 1; i <= 60'000; ++i)
        records.push_back({.key = i * 0x2545f4914f6cdd1dull,
                           .tokens = i,
                           .rank = i,
                           .split = {i, 0, 0, 0, 0, 0},
                           .source = 1 + i % 30'000,
                           .day = 20000 + static_cast<DayNumber>(i % 90),
                           .provider = Provider::claude});
    state.index.merge(records, counting);
    return state;
}

TEST(StateFile, ALargeStateWrittenToItsFileReadsBackAsWrittenInMemory) {
    const QTemporaryDir temp;
    const std::string path = temp.path().toStdString() + "/.tessel-state";
    CollectorState inMemory = largeState();
    const std::string expected = serializeState(inMemory);
    ASSERT_GT(expected.size(), size_t{2} << 20);
    {
        CollectorState state = largeState();
        AtomicFileWriter file(path);
        Breakdown breakdown;
        writeState(file, state, &breakdown);
        EXPECT_EQ(breakdown.rows.size(), 90u);
        file.commit();
    }
    EXPECT_TRUE(fileText(path) == expected);
    ASSERT_TRUE(loadState(path));

    // A write abandoned part-way leaves the state as it was and no temporary file.
    {
        CollectorState state;
        AtomicFileWriter file(path);
        writeState(file, state, nullptr);
    }
    EXPECT_TRUE(fileText(path) == expected);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path().toStdString()),
                            std::filesystem::directory_iterator()),
              1);
}

using Flat = std::map<DayNumber, std::pair<std::array<std::int64_t, providerCount>, std::uint32_t>>;

Flat flat(const DayTotals &totals) {
    Flat out;
    for (const auto &[day, count] : totals)
        out[day] = {count.tokens, count.covered};
    return out;
}

// Random merges and retractions over few messages, files and contents, so that copies meet
// across batches, files and whatever was moved out before, with and without a stored state.
TEST(StateFile, AnIndexMovedIntoAFileAsItGrowsCountsAsOneKeptInMemory) {
    const QTemporaryDir temp;
    static const Pricing pricing{
        "test", [](Provider, std::string_view, const TokenSplit &split, DayNumber) {
            return RequestCost{split.sum(), false};
        }};
    std::mt19937_64 random(11);
    const auto step = [&random](CollectorState &a, CollectorState &b, int number) {
        MessageIndex::Counting countA{a.totals, a.names, pricing};
        MessageIndex::Counting countB{b.totals, b.names, pricing};
        if (random() % 5 == 0) {
            const std::unordered_set<std::uint32_t> sources{
                static_cast<std::uint32_t>(1 + random() % 6),
                static_cast<std::uint32_t>(1 + random() % 6)};
            a.index.retract(sources, countA);
            b.index.retract(sources, countB);
            return;
        }
        std::vector<UsageRecord> batch(1 + random() % 8);
        for (UsageRecord &record : batch) {
            record.key = (1 + random() % 40) * 0x9e3779b97f4a7c15ull;
            record.source = static_cast<std::uint32_t>(1 + random() % 6);
            record.rank = static_cast<std::int64_t>(random() % 4);
            record.tokens = static_cast<std::int64_t>(random() % 100);
            record.split.input = record.tokens;
            record.content = random() % 6 == 0 ? 1 + random() % 3 : 0;
            record.day = 20000 + static_cast<DayNumber>(random() % 5 + number % 3);
        }
        a.index.merge(batch, countA);
        b.index.merge(batch, countB);
    };
    // A folder that is missing leaves the copies in memory, counted all the same.
    const std::string folder = temp.path().toStdString();
    for (const bool fromStored : {false, true})
        for (const std::string &beside : {folder + "/.tessel-state", folder + "/gone/state"}) {
            SCOPED_TRACE((fromStored ? "on a stored state, " : "from nothing, ") + beside);
            CollectorState kept, spilled;
            if (fromStored) {
                CollectorState first, unused;
                for (int number = 0; number < 40; ++number)
                    step(first, unused, number);
                const auto bytes = std::make_shared<const std::string>(serializeState(first));
                kept = *deserializeState(*bytes, bytes);
                spilled = *deserializeState(*bytes, bytes);
            }
            spilled.index.spillInto(beside, 5);
            for (int number = 0; number < 400; ++number) {
                step(kept, spilled, number);
                ASSERT_EQ(flat(kept.totals), flat(spilled.totals)) << "step " << number;
            }
            EXPECT_TRUE(serializeState(kept) == serializeState(spilled));
        }
    // The files it used have no names: nothing is left in the folder.
    EXPECT_TRUE(std::filesystem::is_empty(temp.path().toStdString()));
}

} // namespace
