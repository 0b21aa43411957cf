#include "Collector.h"

#include "AtomicFile.h"
#include "Clock.h"
#include "CollectorState.h"
#include "CountedDays.h"
#include "Demo.h"
#include "Errors.h"
#include "FileLock.h"
#include "LogDiscovery.h"
#include "LogLocations.h"
#include "LogReader.h"
#include "OpenCodeLog.h"
#include "UsageHistory.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

RepositoryFiles::RepositoryFiles(const std::string &repositoryFolder)
    : docs((fs::path(repositoryFolder) / "docs").string()), usage(docs + "/usage.json"),
      state(docs + "/.tessel-state"), lock(docs + "/.tessel-state.lock") {}

namespace {

// Files read in one round before their records are merged: bounds the memory held by
// records that are not yet merged, whatever the size of the logs.
constexpr size_t filesPerRound = 64;

// What to read of a file, or nullopt when it is unchanged since the last collection.
std::optional<ReadJob> planRead(const LogFile &log, const CollectorState &state) {
    const auto previous = state.files.find(log.key);
    if (previous == state.files.end())
        return ReadJob{log, 0, {}};
    const FileState &known = previous->second;
    if (known.sameFileAs(log.current))
        return std::nullopt;
    // Appended to: go on where the last collection stopped. Codex sessions are known by
    // name, so a session moved to another folder (another inode) goes on as well.
    const bool sameFile = log.kind == LogKind::codex || known.inode == log.current.inode;
    if (log.kind != LogKind::openCodeMessage && sameFile && log.current.size >= known.offset)
        return ReadJob{log, known.offset, known.session};
    // Replaced or shortened: read it whole; the message index keeps copies from counting twice.
    return ReadJob{log, 0, {}};
}

std::vector<ReadResult> readInParallel(const std::vector<ReadJob> &jobs,
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
bool readDatabaseIfChanged(const std::string &path, CollectorState &state,
                           std::map<std::string, FileState> &files, CollectSummary &summary) {
    const auto database = statFile(path);
    if (!database)
        return false;
    const std::string key = "opencode-db:" + path;
    const std::string walKey = key + "-wal";
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
        files[key] = known->second;
        if (wal)
            files[walKey] = knownWal->second;
        return false;
    }
    LocalDays days;
    try {
        auto records = opencode::readDatabase(path, days);
        if (auto warning = dropUncountedDays(records, path); !warning.empty())
            summary.warnings.push_back(std::move(warning));
        state.index.merge(records, state.totals);
    } catch (const ToolError &error) {
        // Left out of the file table, so the next collection tries again.
        summary.warnings.push_back(error.what());
        return false;
    }
    files[key] = *database;
    if (wal)
        files[walKey] = *wal;
    ++summary.filesRead;
    summary.bytesRead += database->size;
    return true;
}

// The history to write: stored figures, raised to what the logs have counted. Taking the
// larger figure keeps days whose logs were deleted, and cannot count anything twice.
UsageHistory mergedHistory(UsageHistory stored, const DayTotals &totals) {
    for (const auto &[day, tokens] : totals) {
        for (const Provider provider : allProviders) {
            const std::int64_t counted = tokens[providerIndex(provider)];
            if (counted == 0)
                continue;
            auto &slot = stored.days[day][std::string(providerId(provider))];
            slot = std::max(slot, counted);
        }
    }
    return stored;
}

void collectFromLogs(const RepositoryFiles &files, const UsageHistory &stored,
                     const Environment &environment, CollectSummary &summary) {
    std::optional<CollectorState> loaded = loadState(files.state);
    CollectorState state = loaded ? std::move(*loaded) : CollectorState{};
    const LogLocations locations = LogLocations::fromEnvironment(environment);
    const std::vector<LogFile> logs = discoverLogs(locations, summary.warnings);

    std::map<std::string, FileState> seen;
    // Codex sessions keep their progress even when their file is gone for a while, so a
    // restored copy is not counted again.
    for (const auto &[key, file] : state.files)
        if (key.starts_with("codex:"))
            seen.emplace(key, file);
    std::vector<ReadJob> jobs;
    for (const LogFile &log : logs) {
        if (auto job = planRead(log, state))
            jobs.push_back(std::move(*job));
        else
            seen[log.key] = state.files.at(log.key);
    }

    std::vector<LogReader> readers(std::min(workerCount(), std::max<size_t>(jobs.size(), 1)));
    std::uint64_t malformed = 0, overlong = 0;
    for (size_t first = 0; first < jobs.size(); first += filesPerRound) {
        const std::vector<ReadJob> round(jobs.begin() + static_cast<std::ptrdiff_t>(first),
                                         jobs.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                            first + filesPerRound, jobs.size())));
        std::vector<ReadResult> results = readInParallel(round, readers);
        for (size_t i = 0; i < round.size(); ++i) {
            ReadResult &result = results[i];
            if (!result.problem.empty())
                summary.warnings.push_back("skipped " + result.problem);
            if (auto warning = dropUncountedDays(result.records, round[i].file.path);
                !warning.empty())
                summary.warnings.push_back(std::move(warning));
            state.index.merge(result.records, state.totals);
            // A file that could not be opened keeps its old entry, if any, to be tried again.
            if (result.bytesRead > 0 || result.problem.empty())
                seen[round[i].file.key] = result.state;
            else if (const auto old = state.files.find(round[i].file.key); old != state.files.end())
                seen[round[i].file.key] = old->second;
            summary.bytesRead += result.bytesRead;
            malformed += result.malformedLines;
            overlong += result.overlongLines;
        }
        summary.filesRead += round.size();
    }
    const bool databaseRead =
        readDatabaseIfChanged(locations.openCodeDatabase, state, seen, summary);
    if (malformed > 0)
        summary.warnings.push_back("skipped " + std::to_string(malformed) +
                                   " log lines that could not be read");
    if (overlong > 0)
        summary.warnings.push_back("skipped " + std::to_string(overlong) +
                                   " log lines longer than 16 MiB");

    const UsageHistory history = mergedHistory(stored, state.totals);
    summary.daysStored = history.days.size();
    const std::string text = renderUsageHistory(history);
    std::string previous;
    try {
        previous = readWholeFile(files.usage);
    } catch (const FileError &) {
    }
    if (text != previous)
        writeFileAtomically(files.usage, text);
    const bool stateChanged = !loaded || !jobs.empty() || databaseRead || seen != state.files;
    state.files = std::move(seen);
    if (stateChanged)
        writeFileAtomically(files.state, serializeState(state));
}

} // namespace

CollectSummary collectUsage(const std::string &repositoryFolder, const Environment &environment) {
    if (!fs::is_directory(repositoryFolder))
        throw FileError(repositoryFolder, "the repository folder does not exist");
    const RepositoryFiles files(repositoryFolder);
    std::error_code error;
    fs::create_directories(files.docs, error);
    if (error)
        throw FileError(files.docs, error.message());
    const FileLock lock(files.lock, 120);
    removeStaleTemporaries(files.usage);
    removeStaleTemporaries(files.state);

    CollectSummary summary;
    const std::optional<UsageHistory> stored = readUsageHistory(files.usage);
    if (stored && stored->demo) {
        summary.demo = true;
        UsageHistory history = *stored;
        advanceDemo(history, today(environment));
        summary.daysStored = history.days.size();
        writeFileAtomically(files.usage, renderUsageHistory(history));
        return summary;
    }
    collectFromLogs(files, stored.value_or(UsageHistory{}), environment, summary);
    return summary;
}
