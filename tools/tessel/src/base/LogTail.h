#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads a log from its end towards its start, newest line first, so that a scan for the
// latest state of something stops after a few blocks instead of reading whole files.
// Lines without `needle` are not handed out. The handler returns false to stop. At most
// `maxBytes` are read. A file that cannot be opened has no lines.
void forEachLineFromEnd(const std::string &path, std::string_view needle, std::uint64_t maxBytes,
                        const std::function<bool(std::string_view line)> &handler);

// A file found below a folder, with its modification time in seconds.
struct RecentFile {
    std::string path;
    std::int64_t modifiedAt = 0;
};

// Every file with `extension` below the folders whose modification time is at or after
// `since`, newest first. Missing folders and unreadable entries are skipped.
std::vector<RecentFile> recentFiles(const std::vector<std::string> &folders,
                                    std::string_view extension, std::int64_t since);
