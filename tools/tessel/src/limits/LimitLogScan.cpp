#include "limits/LimitLogScan.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes before the end of what was read that must still be there for a file to count as
// appended to rather than rewritten.
constexpr std::uint64_t tailHashBytes = 64;
// A limit line longer than this is no line the readers want back.
constexpr std::uint64_t maxMarkedLine = 1 << 20;

class OpenLog {
public:
    explicit OpenLog(const std::string &path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        if (m_fd >= 0 && (::fstat(m_fd, &m_info) != 0 || !S_ISREG(m_info.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~OpenLog() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenLog(const OpenLog &) = delete;
    OpenLog &operator=(const OpenLog &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const struct stat &info() const { return m_info; }

    std::optional<std::string> read(std::uint64_t offset, std::uint64_t length) const {
        std::string bytes(static_cast<size_t>(length), '\0');
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(m_fd, bytes.data() + got, bytes.size() - got,
                                      static_cast<off_t>(offset + got));
            if (n <= 0)
                return std::nullopt;
            got += static_cast<size_t>(n);
        }
        return bytes;
    }

private:
    int m_fd;
    struct stat m_info {};
};

std::int64_t mtimeNs(const struct stat &info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

std::uint64_t tailHash(const OpenLog &log, std::uint64_t end) {
    const std::uint64_t start = end > tailHashBytes ? end - tailHashBytes : 0;
    const auto bytes = log.read(start, end - start);
    return bytes ? tailHashOf(*bytes) : 0;
}

bool unchanged(const ScannedLog &known, const RecentFile &file) {
    return known.device == file.device && known.inode == file.inode && known.size == file.size &&
           known.mtimeNs == file.modifiedNs;
}

void keepNewer(std::vector<LimitLineMark> &marks, LimitLineMark mark) {
    for (LimitLineMark &known : marks)
        if (known.key == mark.key) {
            if (mark.observedAt > known.observedAt)
                known = std::move(mark);
            return;
        }
    marks.push_back(std::move(mark));
}

// Reads what `file` holds beyond what `known` (its last scan, when any) covered.
std::optional<ScannedLog> readLog(const LimitLineReader &reader, const std::string &path,
                                  const ScannedLog *known, std::vector<LimitObservation> &seen,
                                  std::vector<std::string> &warnings) {
    const OpenLog log(path);
    if (!log.isOpen())
        return std::nullopt;
    ScannedLog scanned;
    scanned.device = static_cast<std::uint64_t>(log.info().st_dev);
    scanned.inode = static_cast<std::uint64_t>(log.info().st_ino);
    scanned.size = static_cast<std::uint64_t>(log.info().st_size);
    scanned.mtimeNs = mtimeNs(log.info());
    // Only a file that grew and still holds what was read before is read on; one rewritten
    // at the same size (or merely touched) is read again.
    std::uint64_t from = 0;
    if (known && known->device == scanned.device && known->inode == scanned.inode &&
        known->size < scanned.size && tailHash(log, known->readUpTo) == known->tailHash) {
        from = known->readUpTo;
        scanned.marks = known->marks;
    }

    std::optional<std::int64_t> newestHere;
    std::vector<std::string> lineWarnings;
    forEachLineFromEnd(log.fd(), from, scanned.size, reader.needle, reader.tailBytes,
                       [&](std::string_view line, std::uint64_t offset) {
                           const auto windows = reader.parse(line, lineWarnings);
                           for (std::string &warning : lineWarnings)
                               warnings.push_back(path + ": " + warning);
                           lineWarnings.clear();
                           if (windows.empty())
                               return true;
                           const std::int64_t at = windows.front().observedAt;
                           if (!newestHere)
                               newestHere = at;
                           if (at < *newestHere - reader.lookBack)
                               return false;
                           seen.insert(seen.end(), windows.begin(), windows.end());
                           for (const LimitObservation &window : windows)
                               keepNewer(scanned.marks,
                                         {windowKey(window), at, offset,
                                          static_cast<std::uint32_t>(
                                              std::min<std::uint64_t>(line.size(), UINT32_MAX))});
                           return true;
                       });
    scanned.readUpTo = endOfCompleteLines(log.fd(), from, scanned.size);
    scanned.tailHash = tailHash(log, scanned.readUpTo);
    return scanned;
}

} // namespace

std::string windowKey(const LimitObservation &reading) {
    return reading.bucket + "/" + std::to_string(reading.windowMinutes);
}

LimitLogScan scanLimitLines(const LimitLineReader &reader, const std::vector<RecentFile> &files,
                            std::map<std::string, ScannedLog> &state,
                            std::vector<std::string> &warnings) {
    LimitLogScan scan;
    std::map<std::string, ScannedLog> next;
    for (const RecentFile &file : files) {
        const auto known = state.find(file.path);
        if (known != state.end() && unchanged(known->second, file)) {
            next.insert(*known);
            continue;
        }
        if (auto scanned =
                readLog(reader, file.path, known == state.end() ? nullptr : &known->second,
                        scan.seen, warnings))
            next.emplace(file.path, std::move(*scanned));
    }

    // The newest line of each window, then each such line read back once.
    struct Best {
        const std::string *path;
        const LimitLineMark *mark;
    };
    std::map<std::string, Best> best;
    for (const auto &[path, log] : next)
        for (const LimitLineMark &mark : log.marks) {
            Best &current = best.try_emplace(mark.key, Best{&path, &mark}).first->second;
            if (mark.observedAt > current.mark->observedAt)
                current = {&path, &mark};
        }
    std::map<std::pair<std::string, std::uint64_t>, std::vector<const LimitLineMark *>> lines;
    for (const auto &[key, found] : best)
        lines[{*found.path, found.mark->offset}].push_back(found.mark);
    std::vector<std::string> stale;
    for (const auto &[where, marks] : lines) {
        const OpenLog log(where.first);
        const std::uint64_t length = marks.front()->length;
        std::optional<std::string> line;
        if (log.isOpen() && length <= maxMarkedLine)
            line = log.read(where.second, length);
        // Its figures were warned of when the line was first read.
        std::vector<std::string> quiet;
        const auto windows = line ? reader.parse(*line, quiet) : std::vector<LimitObservation>{};
        size_t found = 0;
        for (const LimitLineMark *mark : marks)
            for (const LimitObservation &window : windows)
                if (windowKey(window) == mark->key && window.observedAt == mark->observedAt) {
                    scan.newest.push_back(window);
                    ++found;
                    break;
                }
        // Changed since it was looked at: read again next time.
        if (found != marks.size())
            stale.push_back(where.first);
    }
    for (const std::string &path : stale)
        next.erase(path);
    state = std::move(next);
    return scan;
}
