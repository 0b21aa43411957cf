#pragma once

#include "base/Environment.h"
#include "collect/LogReader.h"

#include <optional>
#include <string>
#include <vector>

// What stat() says of a regular file now, or nullopt when there is none at `path`.
std::optional<FileState> statFile(const std::string &path);

// Every log file of every tool, one entry per path, sorted by key. Folders that exist but
// cannot be read are named in `problems`.
std::vector<LogFile> discoverLogs(const Environment &environment,
                                  std::vector<std::string> &problems);

// Every tool's databases.
struct LogDatabase {
    const ProviderDefinition *provider;
    std::string path;
};
std::vector<LogDatabase> discoverDatabases(const Environment &environment);

// The key of a tool's file in the collector's file table: a hash of the tool, the kind of file
// and its path.
std::uint64_t logFileKey(const ProviderDefinition &provider, LogStorage storage,
                         std::string_view path);
