#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What `report limits` learnt of each log file on its last run, so that the next run reads
// only what changed: the file's identity then and where its newest limit lines stand.

// The newest line of one window (a key such as "codex_x/300") in one file.
struct LimitLineMark {
    std::string key;
    std::int64_t observedAt = 0;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;

    friend bool operator==(const LimitLineMark &, const LimitLineMark &) = default;
};

struct ScannedLog {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    // Where the complete lines read end; a file that only grew is read on from here.
    std::uint64_t readUpTo = 0;
    // A hash of the bytes just before `readUpTo`, which an appended file still holds.
    std::uint64_t tailHash = 0;
    std::vector<LimitLineMark> marks;

    friend bool operator==(const ScannedLog &, const ScannedLog &) = default;
};

// The kinds of log scanned for limits, each with files of its own.
enum class LimitLogKind : std::uint8_t { codexRateLimits = 0, claudeLimitReached = 1 };

struct LimitsScanState {
    std::array<std::map<std::string, ScannedLog>, 2> logs; // by kind, then by path

    std::map<std::string, ScannedLog> &of(LimitLogKind kind) {
        return logs[static_cast<size_t>(kind)];
    }
    friend bool operator==(const LimitsScanState &, const LimitsScanState &) = default;
};

std::string encodeScanState(const LimitsScanState &state);
// Nullopt for anything but a whole, undamaged state of this version of the limit rules.
std::optional<LimitsScanState> decodeScanState(std::string_view bytes);

// The file at `path`; an empty state when there is none. A state that is damaged, of another
// version or not a regular file of a sane size is refused: a warning goes to `warnings` and
// the scan starts afresh, which rewrites it.
LimitsScanState readScanState(const std::string &path, std::vector<std::string> &warnings);
// Replaces the file atomically. Throws FileError.
void writeScanState(const std::string &path, const LimitsScanState &state);

// The hash kept in ScannedLog::tailHash.
std::uint64_t tailHashOf(std::string_view bytes);
