#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads a log from its end towards its start, newest line first, so that a scan for the
// latest state of something stops after a few blocks instead of reading whole files.
// Lines without `needle` are not handed out. The handler returns false to stop. At most
// `maxBytes` are read. A file that cannot be opened, or is not a regular file, has no lines;
// it is opened without waiting, so a FIFO in its place cannot stall the reader.
void forEachLineFromEnd(const std::string &path, std::string_view needle, std::uint64_t maxBytes,
                        const std::function<bool(std::string_view line)> &handler);

// The same for bytes `from` to `end` of the file open at `fd`, where `from` is the start of a
// line; the handler also gets each line's offset in the file.
void forEachLineFromEnd(
    int fd, std::uint64_t from, std::uint64_t end, std::string_view needle, std::uint64_t maxBytes,
    const std::function<bool(std::string_view line, std::uint64_t offset)> &handler);

// The offset just past the last newline in bytes `from` to `end` of the file open at `fd`,
// `from` when there is none: where the file's complete lines end.
std::uint64_t endOfCompleteLines(int fd, std::uint64_t from, std::uint64_t end);

// A file found below a folder, with its identity and modification time.
struct RecentFile {
    std::string path;
    std::int64_t modifiedAt = 0; // seconds
    std::int64_t modifiedNs = 0; // nanoseconds
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
};

// Every file with `extension` below the folders whose modification time is at or after
// `since`, newest first. Missing folders and unreadable entries are skipped.
std::vector<RecentFile> recentFiles(const std::vector<std::string> &folders,
                                    std::string_view extension, std::int64_t since);
