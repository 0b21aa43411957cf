#include "base/AtomicFile.h"

#include "base/Errors.h"
#include "base/FileRange.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string systemReason(int error) {
    return std::strerror(error);
}

namespace {

constexpr const char *temporaryInfix = ".tmp-";

std::string temporaryPrefix(const fs::path &target) {
    std::string prefix = ".";
    prefix += target.filename().string();
    prefix += temporaryInfix;
    return prefix;
}

// The process's file-creation mask, read without changing it (the collector has threads).
mode_t currentUmask() {
    if (FILE *status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A replaced file keeps its mode; a new one gets what the umask leaves of 0666.
mode_t modeFor(const fs::path &target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return info.st_mode & 07777;
    return 0666 & ~currentUmask();
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::string &path) {
    const fs::path target = fs::absolute(path);
    m_target = target.string();
    m_path = (target.parent_path() / (temporaryPrefix(target) + "XXXXXX")).string();
    m_mode = modeFor(target);
    m_fd = mkstemp(m_path.data());
    if (m_fd < 0)
        throw FileError(target.parent_path().string(),
                        "cannot create a temporary file: " + systemReason(errno));
}

AtomicFileWriter::~AtomicFileWriter() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed)
        ::unlink(m_path.c_str());
}

namespace {

[[noreturn]] void failOn(const std::string &path, const std::string &what) {
    throw FileError(path, what + ": " + systemReason(errno));
}

} // namespace

void AtomicFileWriter::append(const char *data, std::size_t size) {
    overwrite(m_size, data, size);
}

void AtomicFileWriter::overwrite(std::uint64_t at, const void *data, std::size_t size) {
    if (!writeAt(m_fd, at, static_cast<const char *>(data), size))
        failOn(m_path, "write failed");
    m_size = std::max<std::uint64_t>(m_size, at + size);
}

void AtomicFileWriter::readBack(std::uint64_t at, char *into, std::size_t size) const {
    if (!readAt(m_fd, at, into, size))
        failOn(m_path, "read back failed");
}

void AtomicFileWriter::commit() {
    // mkstemp creates 0600: give the file the mode it is to have.
    if (::fchmod(m_fd, m_mode) != 0 || ::fsync(m_fd) != 0)
        failOn(m_path, "flush failed");
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        failOn(m_path, "close failed");
    if (::rename(m_path.c_str(), m_target.c_str()) != 0)
        throw FileError(m_target, "cannot replace: " + systemReason(errno));
    m_committed = true;
    // Make the rename itself durable; a failure here cannot undo it, so it is not an error.
    const int folder = ::open(fs::path(m_target).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void writeFileAtomically(const std::string &path, const std::string &contents) {
    AtomicFileWriter file(path);
    file.append(contents.data(), contents.size());
    file.commit();
}

void removeStaleTemporaries(const std::string &path, int minimumAgeSeconds) {
    const fs::path target = fs::absolute(path);
    const std::string prefix = temporaryPrefix(target);
    const auto newest = fs::file_time_type::clock::now() - std::chrono::seconds(minimumAgeSeconds);
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(target.parent_path(), error)) {
        if (!entry.path().filename().string().starts_with(prefix))
            continue;
        std::error_code timeError;
        if (minimumAgeSeconds > 0 &&
            entry.symlink_status(timeError).type() == fs::file_type::regular &&
            fs::last_write_time(entry.path(), timeError) > newest)
            continue;
        fs::remove(entry.path(), error);
    }
}

std::string sizeLimitText(std::size_t bytes) {
    if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

std::string readWholeFile(const std::string &path, std::size_t maxBytes, Links links) {
    // Opened without waiting, so a FIFO put in the file's place cannot stall the tool.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK |
                                            (links == Links::refuse ? O_NOFOLLOW : 0));
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP && links == Links::refuse)
            throw FileError(path, "a symbolic link; refused, as tessel reads no file of the "
                                  "repository through a link");
        throw FileError(path, systemReason(error));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw FileError(path, "not a regular file");
    }
    const auto tooLarge = [&] {
        ::close(fd);
        return FileError(path, "larger than " + sizeLimitText(maxBytes) + "; refused");
    };
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
        throw tooLarge();
    // Sized once from fstat, so a large file is neither copied nor reallocated while read; the
    // byte to spare lets the read that meets the end find room without doubling the buffer.
    std::string contents;
    if (info.st_size > 0)
        contents.resize(static_cast<size_t>(info.st_size) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled > maxBytes)
            throw tooLarge(); // grew while read
        if (filled == contents.size())
            contents.resize(std::max<size_t>(contents.size() * 2, 65536));
        const ssize_t got = ::read(fd, contents.data() + filled, contents.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            throw FileError(path, systemReason(error));
        }
        if (got == 0)
            break;
        filled += static_cast<size_t>(got);
        if (filled > maxBytes) { // grew while read
            ::close(fd);
            throw FileError(path, "larger than " + std::to_string(maxBytes) + " bytes");
        }
    }
    ::close(fd);
    contents.resize(filled);
    return contents;
}

PaddedText readPaddedFile(const std::string &path, std::size_t padding) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw FileError(path, systemReason(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw FileError(path, "not a regular file");
    }
    PaddedText read;
    const auto size = static_cast<std::size_t>(info.st_size);
    read.bytes.reset(new char[size + padding]);
    while (read.size < size) {
        const ssize_t got = ::read(fd, read.bytes.get() + read.size, size - read.size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            throw FileError(path, systemReason(error));
        }
        if (got == 0)
            break; // shortened while read: what is there is the file
        read.size += static_cast<std::size_t>(got);
    }
    ::close(fd);
    std::fill_n(read.bytes.get() + read.size, size - read.size + padding, '\0');
    return read;
}

void replaceFileIfChanged(const std::string &path, const std::string &contents) {
    std::string previous;
    bool read = false;
    try {
        // Anything but a regular file of at most this size is replaced without a look inside.
        previous = readWholeFile(path, contents.size(), Links::refuse);
        read = true;
    } catch (const FileError &) {
    }
    if (!read || contents != previous)
        writeFileAtomically(path, contents);
}

void refuseLinks(const std::string &root, const std::string &path) {
    const fs::path top = fs::absolute(root).lexically_normal();
    const fs::path relative = fs::absolute(path).lexically_normal().lexically_relative(top);
    fs::path current = top;
    for (const fs::path &part : relative) {
        if (part == "." || part.empty())
            continue;
        if (part == "..")
            throw FileError(path, "not inside " + root);
        current /= part;
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0)
            return;
        if (S_ISLNK(info.st_mode))
            throw FileError(current.lexically_normal().string(),
                            "a symbolic link; refused, as tessel reads and writes nothing of the "
                            "repository through a link: replace it with a real folder or file");
    }
}
