#pragma once

#include "CodexLog.h"
#include "MessageIndex.h"
#include "UsageRecord.h"

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
    codex::Session session;

    // Same size, modification time and file: nothing to read.
    bool sameFileAs(const FileState &other) const {
        return size == other.size && mtimeNs == other.mtimeNs && inode == other.inode;
    }
    friend bool operator==(const FileState &, const FileState &) = default;
};

// Everything collect remembers between runs, in docs/.tessel-state beside the history:
// the totals counted from logs so far, per file how far it was read, and the message index.
// Binary, little-endian, with a checksum; a file that fails any check is ignored and the
// logs are read again from the start (the history file itself keeps every figure).
struct CollectorState {
    DayTotals totals;
    // Keyed by a provider prefix and the file's path (for Codex its file name, which survives
    // the move of a session into archived_sessions/).
    std::map<std::string, FileState> files;
    MessageIndex index;
};

std::string serializeState(const CollectorState &state);
// The checksum a state file ends with, over all of its bytes before it.
std::uint64_t stateChecksum(std::string_view bytes);
// nullopt when `bytes` is not a state file of this version. The message index refers to
// `bytes` until it is first used; `owner` keeps them alive.
std::optional<CollectorState> deserializeState(std::string_view bytes,
                                               std::shared_ptr<const void> owner);
// nullopt when the file is missing or unusable.
std::optional<CollectorState> loadState(const std::string &path);
