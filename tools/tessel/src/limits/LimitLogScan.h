#pragma once

#include "base/LogTail.h"
#include "limits/LimitObservation.h"
#include "limits/LimitsScanState.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Finds the newest limit line of every window in a set of log files, reading each file only
// as far as it changed since the last scan: a file with the identity (device, inode, size,
// modification time) it had then is not opened at all, a file that only grew is read from
// where the last scan stopped, and any other file from its end.
struct LimitLineReader {
    // Only lines holding this text are parsed.
    std::string_view needle;
    // At most this much of a file (or of what it gained) is read.
    std::uint64_t tailBytes = 0;
    // Lines older than this before a file's newest limit line are not read.
    std::int64_t lookBack = 0;
    // The windows a line holds; empty when it is no limit line.
    std::function<std::vector<LimitObservation>(std::string_view line,
                                                std::vector<std::string> &warnings)>
        parse;
};

struct LimitLogScan {
    // The newest reading of every window (bucket and length) across all files.
    std::vector<LimitObservation> newest;
    // Every reading in what was read this time, for the pace.
    std::vector<LimitObservation> seen;
};

// `state` holds what the last scan learnt of these files and is updated to this scan; files
// no longer listed leave it.
LimitLogScan scanLimitLines(const LimitLineReader &reader, const std::vector<RecentFile> &files,
                            std::map<std::string, ScannedLog> &state,
                            std::vector<std::string> &warnings);

// The key of a window in LimitLineMark: its bucket and length.
std::string windowKey(const LimitObservation &reading);
