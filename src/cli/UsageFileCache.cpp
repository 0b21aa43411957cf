#include "cli/UsageFileCache.h"

namespace {

bool sameTime(const timespec &a, const timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

FileIdentity FileIdentity::of(const struct stat &info) {
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool operator==(const FileIdentity &a, const FileIdentity &b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           sameTime(a.modified, b.modified) && sameTime(a.changed, b.changed);
}

std::optional<UsageReport> UsageFileCache::find(const QString &path,
                                                const FileIdentity &identity) const {
    const std::lock_guard lock(m_mutex);
    if (m_path == path && m_identity == identity)
        return m_report;
    return std::nullopt;
}

UsageReport UsageFileCache::last(const QString &path) const {
    const std::lock_guard lock(m_mutex);
    return m_path == path ? m_report : UsageReport();
}

void UsageFileCache::store(const QString &path, const FileIdentity &identity,
                           const UsageReport &report) {
    const std::lock_guard lock(m_mutex);
    m_path = path;
    m_identity = identity;
    m_report = report;
}
