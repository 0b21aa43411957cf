#pragma once

#include "collect/MessageIndex.h"
#include "history/Breakdown.h"
#include "providers/ProviderDefinition.h"
#include "providers/UsageRecord.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// What one log file looked like when it was last read, and how far it was read.
struct FileState {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    std::uint64_t offset = 0;
    // A hash of the last bytes read (up to `offset`): when they changed, the file was
    // replaced, and is read again from its start rather than from `offset`.
    std::uint64_t tailHash = 0;
    // The file's number, which the message index keeps with what the file counted.
    std::uint32_t id = 0;
    // What the file's reader remembers of it (a Codex session's running total).
    LogSession session;

    // Same size, modification time and file: nothing to read.
    bool sameFileAs(const FileState &other) const {
        return size == other.size && mtimeNs == other.mtimeNs && inode == other.inode;
    }
    friend bool operator==(const FileState &, const FileState &) = default;
};

// Everything collect remembers between runs, in docs/.tessel-state beside the history:
// the totals counted from logs so far, per file how far it was read, and the message index.
// Binary, little-endian, with a checksum; a file that fails any check, or that was written
// under other counting rules, is ignored and the logs are read again from the start (the
// history file itself keeps the figures of days whose logs are gone).
struct CollectorState {
    DayTotals totals;
    // Keyed by fileKey() of a provider prefix and the file's path: a hash keeps the table small
    // however long the paths are.
    std::map<std::uint64_t, FileState> files;
    MessageIndex index;
    // The models and projects counted usage was spent under.
    NameTable names;
    // The number the next newly seen file gets; numbers are never reused.
    std::uint32_t nextFileId = 1;
    // The price table the index's costs come from (Pricing::version).
    std::string priceVersion;
};

// The version of the counting rules. Raising it makes the first collect of the new version
// count every log again from its start and replace the figures of the days it can read.
inline constexpr std::uint32_t countingRules = 5;

// The key of a file in CollectorState::files.
std::uint64_t fileKey(std::string_view prefix, std::string_view name);
// fileKey(prefix, ...) to be continued with the name in pieces.
MessageKeyInProgress fileKeyStart(std::string_view prefix);

// The state file's bytes. Hands out the message index, which is unusable afterwards; with
// `breakdown`, also sums what its counted copies contributed per day, tool, model and project.
std::string serializeState(CollectorState &state, Breakdown *breakdown = nullptr);
class AtomicFileWriter;
// serializeState() into `file`, a MiB at a time, for the collector: a state of hundreds of
// thousands of files is never held in memory whole.
void writeState(AtomicFileWriter &file, CollectorState &state, Breakdown *breakdown);
// The checksum a state file ends with, over all of its bytes before it.
std::uint64_t stateChecksum(std::string_view bytes);
// nullopt when `bytes` is not a state file of this version. The message index refers to
// `bytes` until it is first used; `owner` keeps them alive.
std::optional<CollectorState> deserializeState(std::string_view bytes,
                                               std::shared_ptr<const void> owner);
// nullopt when the file is missing or unusable.
std::optional<CollectorState> loadState(const std::string &path);
