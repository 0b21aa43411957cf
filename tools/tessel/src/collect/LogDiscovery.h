#pragma once

#include "base/Environment.h"
#include "collect/LogReader.h"

#include <optional>
#include <string>
#include <vector>

// What stat() says of a regular file now, or nullopt when there is none at `path`.
std::optional<FileState> statFile(const std::string &path);

// The log files found on disk, kept small: each folder's path once, the file names back to
// back, and per file its key and what stat() says, so that a walk over 200,000 files holds a
// few MiB rather than a string and a whole file state for each.
struct FoundLogs {
    struct Folder {
        const ProviderDefinition *provider;
        LogStorage storage;
        std::string path;
    };
    struct Entry {
        std::uint64_t key;
        std::uint64_t size;
        std::int64_t mtimeNs;
        std::uint64_t inode;
        std::uint32_t folder;
        // Where its name starts in `names`, which ends it with a NUL.
        std::uint32_t nameAt;

        bool sameFileAs(const FileState &known) const {
            return size == known.size && mtimeNs == known.mtimeNs && inode == known.inode;
        }
    };

    std::vector<Folder> folders;
    // Sorted by key, one per key.
    std::vector<Entry> entries;
    std::string names;

    const Folder &folderOf(const Entry &entry) const { return folders[entry.folder]; }
    std::string path(const Entry &entry) const;
    LogFile file(const Entry &entry) const;
    // Every entry as a whole LogFile, for callers that are not in a hurry.
    std::vector<LogFile> files() const;
};

// Every log file of every tool, one entry per path, sorted by key. Folders that exist but
// cannot be read are named in `problems`.
FoundLogs discoverLogs(const Environment &environment, std::vector<std::string> &problems);

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
