#include "collect/Collector.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/FileLock.h"
#include "collect/CollectorState.h"
#include "collect/CountedDays.h"
#include "collect/LogDiscovery.h"
#include "collect/LogReader.h"
#include "history/DemoHistory.h"
#include "history/MachineHistory.h"
#include "history/MachineId.h"
#include "history/UsageHistory.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <set>
#include <span>
#include <thread>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// Files read in one round before their records are merged: bounds the memory held by
// records that are not yet merged, whatever the size of the logs.
constexpr size_t filesPerRound = 64;

// What to read of a file, or nullopt when it is unchanged since the last collection.
std::optional<ReadJob> planRead(const LogFile &log, CollectorState &state) {
    const auto previous = state.files.find(log.key);
    if (previous == state.files.end())
        return ReadJob{&log, 0, {}, 0, state.nextFileId++};
    const FileState &known = previous->second;
    if (known.sameFileAs(log.current))
        return std::nullopt;
    // Appended to: go on where the last collection stopped (the reader checks that the file
    // still ends where it did). Codex sessions are known by name, so a session moved to
    // another folder (another inode) goes on as well.
    const bool sameFile = log.provider->sessionsKnownByName || known.inode == log.current.inode;
    if (log.storage == LogStorage::lines && sameFile && log.current.size >= known.offset)
        return ReadJob{&log, known.offset, known.session, known.tailHash, known.id};
    // Replaced or shortened: read it whole; the message index keeps copies from counting twice.
    return ReadJob{&log, 0, {}, 0, known.id};
}

std::vector<ReadResult> readInParallel(std::span<const ReadJob> jobs,
                                       std::vector<LogReader> &readers) {
    std::vector<ReadResult> results(jobs.size());
    std::atomic<size_t> next{0};
    // A failure in a helper thread (out of memory) is handed to this thread and thrown here,
    // rather than ending the process without a word.
    std::vector<std::exception_ptr> failures(readers.size());
    const auto work = [&](size_t worker) {
        try {
            for (size_t i = next++; i < jobs.size(); i = next++)
                results[i] = readers[worker].read(jobs[i]);
        } catch (...) {
            failures[worker] = std::current_exception();
            next = jobs.size();
        }
    };
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < readers.size() && t < jobs.size(); ++t)
        helpers.emplace_back(work, t);
    work(0);
    for (std::thread &helper : helpers)
        helper.join();
    for (const std::exception_ptr &failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    return results;
}

size_t workerCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<size_t>(cores, 1, 4);
}

// The database and its write-ahead log: either changing means new rows may be there.
// Adds the keys of the database's entries in the file table to `kept`.
bool readDatabaseIfChanged(const LogDatabase &source, CollectorState &state,
                           std::set<std::uint64_t> &kept, CollectSummary &summary) {
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
    const bool unchanged = known != state.files.end() && known->second.sameFileAs(*database) &&
                           (wal ? knownWal != state.files.end() && knownWal->second.sameFileAs(*wal)
                                : knownWal == state.files.end());
    if (unchanged) {
        kept.insert(key);
        kept.insert(walKey);
        return false;
    }
    // Left out of the file table unless read to the end, so the next collection tries again.
    state.files.erase(key);
    state.files.erase(walKey);
    LocalDays days;
    try {
        DatabaseRead read = source.provider->readDatabase(path, days);
        if (auto warning = dropUncountedDays(read.records, path); !warning.empty())
            summary.warnings.push_back(std::move(warning));
        state.names.merge(read.names);
        state.index.merge(read.records, state.totals);
        if (!read.problem.empty()) {
            // What was read counts; the message index keeps rows from counting twice when
            // the next collection reads the database again.
            summary.warnings.push_back(read.problem);
            return true;
        }
    } catch (const ToolError &error) {
        summary.warnings.push_back(error.what());
        return true;
    }
    state.files[key] = *database;
    kept.insert(key);
    if (wal) {
        state.files[walKey] = *wal;
        kept.insert(walKey);
    }
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

void collectFromLogs(const RepositoryFiles &files, const UsageHistory &stored,
                     const UsageHistory &inherited, const Environment &environment,
                     CollectSummary &summary) {
    std::optional<CollectorState> loaded = loadState(files.state);
    CollectorState state = loaded ? std::move(*loaded) : CollectorState{};
    const std::vector<LogFile> logs = discoverLogs(environment, summary.warnings);

    std::vector<ReadJob> jobs;
    for (const LogFile &log : logs)
        if (auto job = planRead(log, state))
            jobs.push_back(std::move(*job));

    std::vector<LogReader> readers(std::min(workerCount(), std::max<size_t>(jobs.size(), 1)));
    std::uint64_t malformed = 0, overlong = 0;
    for (size_t first = 0; first < jobs.size(); first += filesPerRound) {
        const std::span<const ReadJob> round(jobs.data() + first,
                                             std::min(filesPerRound, jobs.size() - first));
        std::vector<ReadResult> results = readInParallel(round, readers);
        // A Codex session read again from its start takes back what it counted before: its
        // running totals are counted afresh, and lines it no longer holds no longer count.
        std::unordered_set<std::uint32_t> restarted;
        for (size_t i = 0; i < round.size(); ++i)
            if (round[i].file->provider->sessionsKnownByName &&
                state.files.contains(round[i].file->key) &&
                (round[i].startOffset == 0 || results[i].restarted))
                restarted.insert(round[i].id);
        state.index.retract(restarted, state.totals);
        for (size_t i = 0; i < round.size(); ++i) {
            ReadResult &result = results[i];
            result.state.id = round[i].id;
            if (!result.problem.empty())
                summary.warnings.push_back("skipped " + result.problem);
            if (auto warning = dropUncountedDays(result.records, round[i].file->path);
                !warning.empty())
                summary.warnings.push_back(std::move(warning));
            state.names.merge(result.names);
            state.index.merge(result.records, state.totals);
            // A file that could not be opened keeps its old entry, if any, to be tried again.
            if (result.bytesRead > 0 || result.problem.empty())
                state.files[round[i].file->key] = result.state;
            summary.bytesRead += result.bytesRead;
            malformed += result.malformedLines;
            overlong += result.overlongLines;
        }
        summary.filesRead += round.size();
    }
    bool databaseRead = false;
    std::set<std::uint64_t> databaseKeys;
    for (const LogDatabase &database : discoverDatabases(environment))
        databaseRead =
            readDatabaseIfChanged(database, state, databaseKeys, summary) || databaseRead;
    if (malformed > 0)
        summary.warnings.push_back("skipped " + std::to_string(malformed) +
                                   " log lines that could not be read");
    if (overlong > 0)
        summary.warnings.push_back("skipped " + std::to_string(overlong) +
                                   " log lines longer than 16 MiB");

    // Files that are gone leave the table, but Codex sessions keep their progress even when
    // their file is gone for a while, so a restored copy is not counted again. Both lists are
    // sorted by key.
    bool pruned = false;
    auto log = logs.begin();
    for (auto entry = state.files.begin(); entry != state.files.end();) {
        while (log != logs.end() && log->key < entry->first)
            ++log;
        if ((log != logs.end() && log->key == entry->first) || entry->second.keptWhenGone ||
            databaseKeys.contains(entry->first)) {
            ++entry;
        } else {
            entry = state.files.erase(entry);
            pruned = true;
        }
    }

    storeHistory(files, stored, inherited, state.totals, summary);
    if (!loaded || !jobs.empty() || databaseRead || pruned)
        writeFileAtomically(files.state, serializeState(state));
}

// How messages name this machine's own history.
std::string ownHistoryName(const std::string &path) {
    return fs::path(path).lexically_normal().string() + " (this machine's own history)";
}

} // namespace

CollectSummary collectUsage(const std::string &repositoryFolder, const Environment &environment) {
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
    collectFromLogs(own, history, inherited, environment, summary);
    writeSummedUsage(files, day, summary.warnings);
    return summary;
}
