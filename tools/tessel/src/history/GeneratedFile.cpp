#include "history/GeneratedFile.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr std::size_t generatedFileLimit = std::size_t{1} << 20;

constexpr std::string_view mark =
    "<!-- Written by tessel on every sync; delete this line to keep the file as your own. -->\n";

// How the documents began before they were marked.
constexpr std::string_view unmarkedBeginnings[] = {
    "# AI coding token usage\n\n![Tokens per day over the last 98 days](heatmap.svg)\n",
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"",
};

bool writtenByTessel(const std::string &contents) {
    if (contents.starts_with(mark))
        return true;
    for (const std::string_view beginning : unmarkedBeginnings) {
        if (!contents.starts_with(beginning))
            continue;
        // The old picture is only tessel's when it is the grid tessel drew.
        return beginning.starts_with("#") ||
               contents.find("<title>Tokens per day, last 98 days</title>") != std::string::npos;
    }
    return false;
}

} // namespace

std::string withGeneratedMark(const std::string &contents) {
    return std::string(mark) + contents;
}

bool replaceGeneratedFile(const std::string &path, const std::string &contents) {
    removeStaleTemporaries(path);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return false;
        // tessel's documents are a few kilobytes: a larger file is the user's.
        if (static_cast<std::uint64_t>(info.st_size) > generatedFileLimit ||
            !writtenByTessel(readWholeFile(path, generatedFileLimit, Links::refuse)))
            return false;
    } else if (errno != ENOENT) {
        throw FileError(path, systemReason(errno));
    }
    writeFileAtomically(path, withGeneratedMark(contents));
    return true;
}
