#pragma once

#include "base/Day.h"
#include "base/LineScanner.h"
#include "collect/CollectorState.h"
#include "providers/ProviderDefinition.h"
#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <cstdint>
#include <string>
#include <vector>

// A log file found on disk, with what stat() says of it now.
struct LogFile {
    const ProviderDefinition *provider;
    LogStorage storage;
    std::uint64_t key;
    std::string path;
    FileState current;
};

// One file to read, from where the last collection stopped.
struct ReadJob {
    const LogFile *file;
    std::uint64_t startOffset = 0;
    LogSession session;
    // What the last bytes before startOffset hashed to when they were read.
    std::uint64_t tailHash = 0;
    std::uint32_t id = 0;
};

struct ReadResult {
    std::vector<UsageRecord> records;
    // The names of the models and projects the records refer to.
    NameTable names;
    // The file's state after this read: its stat() and how far it was read.
    FileState state;
    std::uint64_t bytesRead = 0;
    std::uint64_t malformedLines = 0;
    std::uint64_t overlongLines = 0;
    // The file no longer ends in what was read last time (it was replaced or rewritten), so it
    // was read from its start.
    bool restarted = false;
    // The read stopped part of the way through a large file, to be read on from state.offset
    // once its records are merged.
    bool more = false;
    // Why the file could not be read (or not to the end); empty when it was.
    std::string problem;
};

// Reads log files; one per worker thread, since it owns a parser and a buffer.
class LogReader {
public:
    // What one read of a log hands over at most, so that the records of a file of gigabytes
    // are merged piece by piece rather than held all at once.
    static constexpr std::uint64_t pieceSize = std::uint64_t{64} << 20;

    ReadResult read(const ReadJob &job);

    // A hash of the up to 64 bytes before `offset`; 0 at offset 0 or when they cannot be read.
    static std::uint64_t tailHash(int fd, std::uint64_t offset);
    // The same of those bytes (the last min(offset, 64) bytes before `offset`) at hand.
    static std::uint64_t tailHash(std::string_view lastBytes, std::uint64_t offset);

private:
    // Answers whether it set the state's tail hash from the bytes it read.
    bool readLines(const ReadJob &job, std::uint64_t startOffset, int fd, ReadResult &result);
    void readDocument(const ReadJob &job, ReadResult &result);
    // Parses one line with `capacity` readable bytes from its start; an error when it is not
    // one sound JSON object.
    simdjson::error_code parseLine(std::string_view line, size_t capacity,
                                   simdjson::dom::object &object);

    // 1 MiB blocks: as fast as larger ones, and four readers stay small.
    LineScanner m_scanner{1 << 20};
    simdjson::dom::parser m_parser;
    LocalDays m_days;
};
