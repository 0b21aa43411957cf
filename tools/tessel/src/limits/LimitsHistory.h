#pragma once

#include "base/Environment.h"
#include "limits/LimitObservation.h"

#include <cstdint>
#include <string>
#include <vector>

// The tool's own folder for what it keeps between runs outside any repository:
// $XDG_STATE_HOME/tessel, else ~/.local/state/tessel.
std::string limitsStateFolder(const Environment &environment);

// Readings of the windows that are still running, so that the pace has more than the
// newest figure to go on. One line a reading; lines that cannot be read are skipped.
std::vector<LimitObservation> readLimitHistory(const std::string &path);
// Adds `fresh`, drops readings of windows that have reset by `now` and readings repeated at
// the same moment, and keeps at most `perWindow` readings a window: the first and the latest.
std::vector<LimitObservation> mergeLimitHistory(std::vector<LimitObservation> history,
                                                const std::vector<LimitObservation> &fresh,
                                                std::int64_t now, size_t perWindow = 96);
// Replaces the file atomically. Throws FileError.
void writeLimitHistory(const std::string &path, const std::vector<LimitObservation> &history);
