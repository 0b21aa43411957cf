#pragma once

#include "base/Day.h"
#include "base/Environment.h"
#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The readable bytes after every document handed to a reader (simdjson's padding).
inline constexpr std::size_t documentPadding = 64;
static_assert(documentPadding >= simdjson::SIMDJSON_PADDING);

// How a tool keeps its usage, which decides how the collector reads it again.
enum class LogStorage : std::uint8_t {
    // JSON lines, appended to: read on from where the last collection stopped.
    lines,
    // One JSON document a file, rewritten whole: read whole whenever it changed.
    document,
    // An SQLite database, opened read-only: read whole whenever it or its write-ahead log
    // changed.
    database,
};

// A folder whose files, at any depth, with the given ending are logs of one storage kind. An
// ending that begins with a dot is the files' extension (".jsonl"); any other is their whole
// name ("wire.jsonl"), for tools that keep other files of the same extension beside their logs.
struct LogFolder {
    std::string path;
    LogStorage storage = LogStorage::lines;
    std::string_view ending = ".jsonl";
};

// Where a tool keeps its usage on this machine, from the environment. Folders and databases
// that do not exist are simply not read.
struct ProviderLogs {
    std::vector<LogFolder> folders;
    std::vector<std::string> databases;
    // Where the logs would be, for doctor to name when none are found; empty when that is the
    // folders and databases above. A tool that is not installed lists no folders (its missing
    // top folder costs one failed stat) and names that folder here.
    std::vector<std::string> lookedIn;
};

// What a reader of one log is given besides its text: the day cache of the thread reading it,
// the file's path, and the table that takes the names of models and projects.
struct ReadContext {
    LocalDays &days;
    NameTable &names;
    std::string_view path;
};

enum class ParseOutcome : std::uint8_t {
    usage,     // the line or document gave records
    ignored,   // sound, but nothing to count
    malformed, // not what the tool writes there: skipped and reported
};

// What a tool's reader remembers of one line log between collections (a Codex session's
// running total and the model in force, for example); each reader gives the fields its meaning.
struct LogSession {
    std::int64_t numbers[2] = {};
    NameId model = 0;
    NameId project = 0;
    std::uint8_t flags = 0;

    friend bool operator==(const LogSession &, const LogSession &) = default;
};

struct DatabaseRead {
    std::vector<UsageRecord> records;
    NameTable names;
    // Why reading stopped before the end; empty when every row was read.
    std::string problem;
};

// Everything the collector, doctor and schedule know of one AI coding tool. A tool is one
// folder under providers/ holding its definition and reader; the registry lists them all.
//
// Copies: a tool's reader gives every record its identity rule. `key` names a message across
// copies and files (the largest `rank` counts), `content` a second identity for tools that copy
// messages under new keys, and a `mark` outranks replays; a record without a key is known by
// the bytes of the line or document it came from. Whatever happens to a file, the collector
// counts what the files hold now: a file read again from its start takes back what it gave.
struct ProviderDefinition {
    Provider provider{};
    std::string_view id{};
    std::string_view displayName{};
    // The environment variables that move its logs; the schedule carries them into its service.
    std::span<const std::string_view> environment{};
    ProviderLogs (*locate)(const Environment &environment) = nullptr;

    // Line logs: lines without `needle` are skipped unread (an empty needle hands every line
    // on), then lines `mayMatter` refuses (when given). The rest are parsed whole by the
    // collector, which checks every line against the JSON grammar in that one parse: a line that
    // is not one sound JSON object is malformed and never reaches the reader, which is handed
    // the parsed object (valid until the next line is parsed).
    std::string_view needle{};
    bool (*mayMatter)(std::string_view line) = nullptr;
    ParseOutcome (*parseLine)(ReadContext &context, LogSession &session, simdjson::dom::object line,
                              std::vector<UsageRecord> &records) = nullptr;
    // Document logs: one file, one document, read whole when it is at most `largestDocument`
    // bytes (a larger file is not one of the tool's documents, and is not read into memory).
    // The text is followed by at least `documentPadding` readable bytes, so a parser may take
    // it as it is, without a padded copy.
    ParseOutcome (*parseDocument)(ReadContext &context, std::string_view json,
                                  std::vector<UsageRecord> &records) = nullptr;
    std::uint64_t largestDocument = 16 << 20;
    // Databases. Throws ToolError when the database cannot be read at all.
    DatabaseRead (*readDatabase)(const std::string &path, LocalDays &days) = nullptr;
};
