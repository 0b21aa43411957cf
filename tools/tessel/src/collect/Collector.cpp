#include "collect/Collector.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/FileLock.h"
#include "collect/CollectorState.h"
#include "collect/CountedDays.h"
#include "collect/LogDiscovery.h"
#include "collect/LogReader.h"
#include "collect/ReadWorkers.h"
#include "collect/RecordIdentity.h"
#include "history/Breakdown.h"
#include "history/DemoHistory.h"
#include "history/MachineHistory.h"
#include "history/MachineId.h"
#include "history/UsageHistory.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <thread>
#include <tuple>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// Files read in one round before their records are merged: bounds the memory held by
// records that are not yet merged, whatever the size of the logs.
constexpr size_t filesPerRound = 64;

// Same size, modification time and file as when it was last read: nothing to read.
bool unchanged(const FoundLogs::Entry &log, const CollectorState &state) {
    const auto known = state.files.find(log.key);
    return known && log.sameFileAs(*known);
}

// What to read of a file that changed or is new.
ReadJob planRead(const LogFile &log, CollectorState &state) {
    const auto previous = state.files.find(log.key);
    if (!previous)
        return ReadJob{&log, 0, {}, 0, state.nextFileId++};
    const FileState &known = *previous;
    // Appended to: go on where the last collection stopped (the reader checks that the file
    // still ends where it did).
    if (log.storage == LogStorage::lines && known.inode == log.current.inode &&
        log.current.size >= known.offset)
        return ReadJob{&log, known.offset, known.session, known.tailHash, known.id};
    // Replaced or shortened: read whole, after what it counted before is taken back.
    return ReadJob{&log, 0, {}, 0, known.id};
}

// A file renamed into another folder (a Codex session moved into the archive, a project
// folder renamed) keeps its inode, size and modification time: it takes over the entry of the
// path it left, so nothing of it is read or counted again. Answers whether one was found.
bool followMovedFiles(const FoundLogs &logs, CollectorState &state) {
    std::map<std::tuple<std::uint64_t, std::uint64_t, std::int64_t>, std::uint64_t> gone;
    auto log = logs.entries.begin();
    state.files.forEach([&](std::uint64_t key, const FileState &file) {
        while (log != logs.entries.end() && log->key < key)
            ++log;
        if (log == logs.entries.end() || log->key != key)
            gone.emplace(std::tuple(file.inode, file.size, file.mtimeNs), key);
    });
    bool moved = false;
    for (const FoundLogs::Entry &found : logs.entries) {
        if (gone.empty())
            break;
        if (state.files.contains(found.key))
            continue;
        const auto left = gone.find(std::tuple(found.inode, found.size, found.mtimeNs));
        if (left == gone.end())
            continue;
        state.files.rename(left->second, found.key);
        gone.erase(left);
        moved = true;
    }
    return moved;
}

size_t workerCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<size_t>(cores, 1, 4);
}

// The database and its write-ahead log: either changing means new rows may be there. A
// database read to its end replaces what it counted before; one that failed part-way adds what
// it gave and is read again next time. Adds the keys of the database's entries in the file
// table to `kept`.
bool readDatabaseIfChanged(const LogDatabase &source, CollectorState &state,
                           MessageIndex::Counting &counting, std::set<std::uint64_t> &kept,
                           CollectSummary &summary) {
    const std::string &path = source.path;
    const auto database = statFile(path);
    if (!database)
        return false;
    const std::uint64_t key = logFileKey(*source.provider, LogStorage::database, path);
    const std::uint64_t walKey = logFileKey(*source.provider, LogStorage::database, path + "-wal");
    // An empty write-ahead log holds no rows; SQLite creates and empties it on its own.
    auto wal = statFile(path + "-wal");
    if (wal && wal->size == 0)
        wal.reset();
    const auto known = state.files.find(key);
    const auto knownWal = state.files.find(walKey);
    kept.insert(key);
    kept.insert(walKey);
    const bool unchanged = known && known->sameFileAs(*database) &&
                           (wal ? knownWal && knownWal->sameFileAs(*wal) : !knownWal);
    if (unchanged)
        return false;
    FileState read = *database;
    read.id = known ? known->id : state.nextFileId++;
    // Until it is read to the end, its entry matches no file, so the next collection tries again.
    FileState retry;
    retry.id = read.id;
    retry.mtimeNs = -1;
    state.files.set(key, retry);
    state.files.erase(walKey);
    LocalDays days;
    try {
        DatabaseRead rows = source.provider->readDatabase(path, days);
        for (UsageRecord &record : rows.records)
            record.source = read.id;
        identifyByBytes(rows.records, 0, path);
        if (auto warning = dropUncountedDays(rows.records, path); !warning.empty())
            summary.warnings.push_back(std::move(warning));
        state.names.merge(rows.names);
        if (!rows.problem.empty()) {
            // What was read counts; rows it held before stay until it is read whole.
            summary.warnings.push_back(rows.problem);
            state.index.merge(rows.records, counting);
            return true;
        }
        state.index.retract({read.id}, counting);
        state.index.merge(rows.records, counting);
    } catch (const ToolError &error) {
        summary.warnings.push_back(error.what());
        return true;
    }
    state.files.set(key, read);
    if (wal)
        state.files.set(walKey, *wal);
    ++summary.filesRead;
    summary.bytesRead += database->size;
    return true;
}

// The history to write: the stored history, with the figures of every day and provider whose
// logs were counted replaced by the count. The collector's totals span every log it has read,
// also those deleted since, so they are the current count of those days; days it never read
// (logs deleted before it ran, other tools' rows) keep what was stored.
UsageHistory mergedHistory(UsageHistory stored, const DayTotals &totals) {
    for (const auto &[day, count] : totals) {
        for (const Provider provider : allProviders) {
            const size_t index = providerIndex(provider);
            // Within the bounds every machine's file is checked against before it is summed.
            if (count.covers(index))
                stored.days[day][std::string(providerId(provider))] =
                    std::clamp<std::int64_t>(count.tokens[index], 0, maxDailyTokens);
        }
    }
    return stored;
}

// Writes the stored history with the figures counted from the logs taken over, less what stays
// published under an id this machine used before.
void storeHistory(const RepositoryFiles &files, const UsageHistory &stored,
                  const UsageHistory &inherited, const DayTotals &totals, CollectSummary &summary) {
    const UsageHistory history = subtractedHistory(mergedHistory(stored, totals), inherited);
    summary.daysStored = history.days.size();
    const std::string text = renderUsageHistory(history);
    replaceFileIfChanged(files.usage, text);
}

// The breakdown to write: what the counted copies contributed and, of the breakdown written
// before, the rows of days and tools the counts do not cover (their logs were deleted before a
// recount), which keep matching the figures the history keeps for those days.
void storeBreakdown(const std::string &path, Breakdown fresh, const DayTotals &totals) {
    if (const auto earlier = readBreakdown(path)) {
        for (const auto &[key, figures] : earlier->rows) {
            const auto day = totals.find(key.day);
            if (day != totals.end() && day->second.covers(providerIndex(key.provider)))
                continue;
            fresh.rows.emplace(key, figures);
            for (const NameId id : {key.model, key.project})
                if (const std::string *text = earlier->names.find(id))
                    fresh.names.insert(id, *text);
        }
    }
    writeBreakdown(path, fresh);
}

void collectFromLogs(const RepositoryFiles &files, const UsageHistory &stored,
                     const UsageHistory &inherited, const Environment &environment,
                     const Pricing &pricing, CollectSummary &summary) {
    std::optional<CollectorState> loaded = loadState(files.state);
    // Costs priced under another table are priced again, which takes a recount.
    if (loaded && loaded->priceVersion != pricing.version)
        loaded.reset();
    CollectorState state = loaded ? std::move(*loaded) : CollectorState{};
    state.priceVersion = pricing.version;
    // Past a number of copies the index waits in a file beside the state, not in memory.
    state.index.spillInto(files.state);
    MessageIndex::Counting counting{state.totals, state.names, pricing};
    FoundLogs logs = discoverLogs(environment, summary.warnings);
    bool changed = !loaded || followMovedFiles(logs, state);

    std::vector<std::uint32_t> toRead;
    for (std::uint32_t i = 0; i < logs.entries.size(); ++i)
        if (!unchanged(logs.entries[i], state))
            toRead.push_back(i);

    const std::vector<LogDatabase> databases = discoverDatabases(environment);
    // A first collect fills the table in key order: sized once, it never grows by doubling.
    if (state.files.size() == 0)
        state.files.reserve(toRead.size() + 2 * databases.size());
    ReadWorkers readers(std::min(workerCount(), toRead.size()));
    std::uint64_t malformed = 0, overlong = 0;
    // Whole file entries and read jobs are made a round at a time, so that what a collect
    // holds per file stays the small entry of the walk.
    std::vector<LogFile> roundFiles;
    std::vector<ReadJob> round;
    for (size_t first = 0; first < toRead.size(); first += filesPerRound) {
        const size_t count = std::min(filesPerRound, toRead.size() - first);
        roundFiles.clear();
        round.clear();
        for (size_t i = 0; i < count; ++i)
            roundFiles.push_back(logs.file(logs.entries[toRead[first + i]]));
        for (const LogFile &file : roundFiles)
            round.push_back(planRead(file, state));
        summary.filesRead += round.size();
        // A large file is read a piece at a time, each merged before the next is read.
        while (!round.empty()) {
            std::vector<ReadResult> results = readers.read(round);
            // A file read again from its start (replaced, shortened, rewritten) takes back what
            // it counted before, so every line it holds now counts once and lines it no longer
            // holds no longer count. One that could not be read keeps what it counted.
            std::unordered_set<std::uint32_t> restarted;
            for (size_t i = 0; i < round.size(); ++i)
                if (state.files.contains(round[i].file->key) &&
                    (round[i].startOffset == 0 || results[i].restarted) &&
                    (results[i].bytesRead > 0 || results[i].problem.empty()))
                    restarted.insert(round[i].id);
            state.index.retract(restarted, counting);
            std::vector<ReadJob> pieces;
            for (size_t i = 0; i < round.size(); ++i) {
                ReadResult &result = results[i];
                result.state.id = round[i].id;
                if (!result.problem.empty())
                    summary.warnings.push_back("skipped " + result.problem);
                if (auto warning = dropUncountedDays(result.records, round[i].file->path);
                    !warning.empty())
                    summary.warnings.push_back(std::move(warning));
                state.names.merge(result.names);
                state.index.merge(result.records, counting);
                // A file that could not be opened keeps its old entry, if any, to be tried again.
                if (result.bytesRead > 0 || result.problem.empty())
                    state.files.set(round[i].file->key, result.state);
                if (result.more && result.problem.empty())
                    pieces.push_back(ReadJob{round[i].file, result.state.offset,
                                             result.state.session, result.state.tailHash,
                                             round[i].id});
                summary.bytesRead += result.bytesRead;
                malformed += result.malformedLines;
                overlong += result.overlongLines;
            }
            round = std::move(pieces);
        }
        changed = true;
    }
    std::set<std::uint64_t> databaseKeys;
    for (const LogDatabase &database : databases)
        changed =
            readDatabaseIfChanged(database, state, counting, databaseKeys, summary) || changed;
    if (malformed > 0)
        summary.warnings.push_back("skipped " + std::to_string(malformed) +
                                   " log lines that could not be read");
    if (overlong > 0)
        summary.warnings.push_back("skipped " + std::to_string(overlong) +
                                   " log lines longer than 16 MiB");

    // Files that are gone leave the table; what they counted stays counted. Both lists are
    // sorted by key.
    auto log = logs.entries.begin();
    const size_t gone = state.files.eraseIf([&](std::uint64_t key) {
        while (log != logs.entries.end() && log->key < key)
            ++log;
        return !(log != logs.entries.end() && log->key == key) && !databaseKeys.contains(key);
    });
    changed = changed || gone > 0;
    // The walk's list is done with before the state is written.
    logs = {};
    toRead = {};

    storeHistory(files, stored, inherited, state.totals, summary);
    // The breakdown goes before the state: should writing the state fail, the next collection
    // counts the same again and writes both.
    std::error_code missing;
    if (changed || !fs::exists(files.breakdown, missing)) {
        Breakdown breakdown;
        AtomicFileWriter stateFile(files.state);
        writeState(stateFile, state, &breakdown);
        storeBreakdown(files.breakdown, std::move(breakdown), state.totals);
        stateFile.commit();
    }
}

// How messages name this machine's own history.
std::string ownHistoryName(const std::string &path) {
    return fs::path(path).lexically_normal().string() + " (this machine's own history)";
}

} // namespace

CollectSummary collectUsage(const std::string &repositoryFolder, const Environment &environment,
                            const Pricing &pricing) {
    if (!fs::is_directory(repositoryFolder))
        throw FileError(repositoryFolder, "the repository folder does not exist");
    const RepositoryFiles files(repositoryFolder);
    // Nothing is written through a link placed in the repository, which could point anywhere.
    files.refuseLinks();
    std::error_code error;
    fs::create_directories(files.docs, error);
    if (error)
        throw FileError(files.docs, error.message());
    const FileLock lock(files.lock, 120);
    removeStaleTemporaries(files.usage);
    removeStaleTemporaries(files.state);
    removeStaleTemporaries(files.breakdown);

    CollectSummary summary;
    const DayNumber day = today(environment);
    // Once machines keep their own histories, docs/usage.json is only their sum.
    const bool shared = hasMachineHistories(files);
    const std::optional<UsageHistory> stored =
        shared ? std::nullopt : readUsageHistory(files.usage);
    if (stored && stored->demo) {
        summary.demo = true;
        UsageHistory history = *stored;
        advanceDemo(history, day);
        summary.daysStored = history.days.size();
        writeFileAtomically(files.usage, renderUsageHistory(history));
        return summary;
    }

    // This machine's own history is what the logs are counted into. A repository from before
    // several machines hands its whole history to the first machine that uses it.
    const MachineIdentity machine = machineIdentity(environment);
    RepositoryFiles own = files;
    own.usage = machineHistoryPath(files, machine.id);
    refuseLinks(files.root, own.usage);
    fs::create_directories(files.machines, error);
    if (error)
        throw FileError(files.machines, error.message());
    removeStaleTemporaries(own.usage);
    // The collector counts everything this machine's logs hold; what it published under an id
    // it used before is added to the stored figures it counts on and taken off what it writes.
    const UsageHistory inherited = readInherited(files, machine.id);
    UsageHistory history =
        shared ? readUsageHistory(own.usage, {machineFileLimit, ownHistoryName(own.usage)})
                     .value_or(UsageHistory{})
               : stored.value_or(UsageHistory{});
    history = addedHistories(std::move(history), inherited);
    history.host = machine.host;
    collectFromLogs(own, history, inherited, environment, pricing, summary);
    writeSummedUsage(files, day, summary.warnings);
    return summary;
}
