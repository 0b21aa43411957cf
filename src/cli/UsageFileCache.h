#pragma once

#include "cli/ReportFormats.h"

#include <QString>

#include <mutex>
#include <optional>
#include <sys/stat.h>

// What tells one version of a file from another: a file replaced by rename has a new inode,
// one rewritten in place a new size or new modification and change times.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileIdentity of(const struct stat &info);
    friend bool operator==(const FileIdentity &a, const FileIdentity &b);
};

// The last usage file decoded, kept with the identity it had when it was read. The tool only
// rewrites the file when its figures change, so most refreshes find it as it was and skip the
// decoding; when it has changed, the rows it kept are taken over instead of built again.
// Shared by the copies of one TesselCLI, which may read from several threads.
class UsageFileCache {
public:
    std::optional<UsageReport> find(const QString &path, const FileIdentity &identity) const;
    // What was last decoded from `path`, whatever the file is now; empty when nothing was.
    UsageReport last(const QString &path) const;
    void store(const QString &path, const FileIdentity &identity, const UsageReport &report);

private:
    mutable std::mutex m_mutex;
    std::optional<QString> m_path;
    FileIdentity m_identity;
    UsageReport m_report;
};
