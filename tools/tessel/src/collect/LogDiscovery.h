#pragma once

#include "collect/LogReader.h"
#include "providers/LogLocations.h"

#include <optional>
#include <string>
#include <vector>

// What stat() says of a regular file now, or nullopt when there is none at `path`.
std::optional<FileState> statFile(const std::string &path);

// Every log file below the locations, one entry per key, sorted by key. A Codex session
// present twice (a copy in archived_sessions/) is listed once, with its longest copy. Folders
// that exist but cannot be read are named in `problems`.
std::vector<LogFile> discoverLogs(const LogLocations &locations,
                                  std::vector<std::string> &problems);

// The OpenCode databases to read: the main one and every release channel's
// opencode-<channel>.db in the data folder (never their -wal and -shm files), sorted.
std::vector<std::string> discoverOpenCodeDatabases(const LogLocations &locations);
