#include "base/LogTail.h"

#include "base/FileRange.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t blockSize = 256 << 10;
// A longer line is not a line any reader here wants; its bytes are dropped, not kept.
constexpr size_t maxLineSize = 16 << 20;

class FileDescriptor {
public:
    explicit FileDescriptor(const std::string &path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

void forEachLineFromEnd(const std::string &path, std::string_view needle, std::uint64_t maxBytes,
                        const std::function<bool(std::string_view line)> &handler) {
    const FileDescriptor file(path);
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    forEachLineFromEnd(file.get(), 0, static_cast<std::uint64_t>(info.st_size), needle, maxBytes,
                       [&](std::string_view line, std::uint64_t) { return handler(line); });
}

void forEachLineFromEnd(
    int fd, std::uint64_t from, std::uint64_t end, std::string_view needle, std::uint64_t maxBytes,
    const std::function<bool(std::string_view line, std::uint64_t offset)> &handler) {
    std::uint64_t position = std::max(end, from);
    std::uint64_t budget = maxBytes;
    // The start of a line whose beginning lies in a block not read yet.
    std::string carry;
    std::string block;
    while (position > from && budget > 0) {
        const size_t size =
            static_cast<size_t>(std::min<std::uint64_t>({blockSize, position - from, budget}));
        position -= size;
        budget -= size;
        block.resize(size);
        if (!readAt(fd, position, block.data(), size))
            return;
        block += carry;
        // Lines that are complete in `block`, last first; the text before the first newline
        // may continue further back, unless this is the start of the range. A block without
        // the needle at all is not split into lines.
        size_t lineEnd = block.size();
        if (block.find(needle) == std::string::npos)
            lineEnd = std::min(block.find('\n'), block.size());
        while (true) {
            const size_t newline =
                lineEnd == 0 ? std::string::npos : block.rfind('\n', lineEnd - 1);
            if (newline == std::string::npos)
                break;
            const std::string_view line(block.data() + newline + 1, lineEnd - newline - 1);
            if (!line.empty() && line.find(needle) != std::string_view::npos &&
                !handler(line, position + newline + 1))
                return;
            lineEnd = newline;
        }
        carry.assign(block, 0, lineEnd);
        if (carry.size() > maxLineSize)
            carry.clear();
    }
    if (position == from && !carry.empty() && carry.find(needle) != std::string::npos)
        handler(carry, from);
}

std::uint64_t endOfCompleteLines(int fd, std::uint64_t from, std::uint64_t end) {
    constexpr size_t step = 64 << 10;
    std::string block;
    for (std::uint64_t position = end; position > from;) {
        const size_t size = static_cast<size_t>(std::min<std::uint64_t>(step, position - from));
        position -= size;
        block.resize(size);
        if (!readAt(fd, position, block.data(), size))
            return from;
        if (const size_t newline = block.rfind('\n'); newline != std::string::npos)
            return position + newline + 1;
    }
    return from;
}

std::vector<RecentFile> recentFiles(const std::vector<std::string> &folders,
                                    std::string_view extension, std::int64_t since) {
    std::vector<RecentFile> files;
    for (const std::string &folder : folders) {
        std::error_code error;
        fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                              error);
        for (const fs::recursive_directory_iterator end; !error && walk != end;
             walk.increment(error)) {
            if (walk->path().extension() != extension)
                continue;
            struct stat info {};
            if (::stat(walk->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
                info.st_mtim.tv_sec < since)
                continue;
            files.push_back({walk->path().string(), static_cast<std::int64_t>(info.st_mtim.tv_sec),
                             static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                                 info.st_mtim.tv_nsec,
                             static_cast<std::uint64_t>(info.st_dev),
                             static_cast<std::uint64_t>(info.st_ino),
                             static_cast<std::uint64_t>(info.st_size)});
        }
    }
    std::sort(files.begin(), files.end(), [](const RecentFile &a, const RecentFile &b) {
        return a.modifiedAt != b.modifiedAt ? a.modifiedAt > b.modifiedAt : a.path < b.path;
    });
    return files;
}
