#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Replaces `path` with `contents` so that a reader sees either the old file or the new one,
// never a mix: the bytes go to a temporary file in the same folder, are flushed to disk, and
// the temporary file is renamed over `path`. On failure the old file is untouched and the
// temporary file removed. A replaced file keeps its mode; a new one follows the umask.
// Throws FileError.
void writeFileAtomically(const std::string &path, const std::string &contents);

// A file written piece by piece and then put in place as writeFileAtomically() does, for
// contents too large to build in memory first. Nothing replaces `path` before commit(); a
// writer destroyed without it removes its temporary file. Throws FileError.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const std::string &path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    void append(const char *data, std::size_t size);
    // Bytes already appended: written over at `at`, or read back from it.
    void overwrite(std::uint64_t at, const void *data, std::size_t size);
    void readBack(std::uint64_t at, char *into, std::size_t size) const;
    // Flushes the file to disk and renames it over `path`.
    void commit();

private:
    std::string m_target;
    std::string m_path;
    unsigned m_mode;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    bool m_committed = false;
};

// writeFileAtomically() only when `path` does not already hold `contents`, so an unchanged
// file keeps its modification time and readers that cache it by that keep their copy.
void replaceFileIfChanged(const std::string &path, const std::string &contents);

// Removes temporary files that an interrupted writeFileAtomically() left beside `path`. Where
// other writers may be at work without a lock shared with this one, `minimumAgeSeconds` spares
// the temporary files of writes still going on.
void removeStaleTemporaries(const std::string &path, int minimumAgeSeconds = 0);

// The largest file of each kind the tool reads whole: more is not such a file, and reading it
// would only cost time and memory.
inline constexpr std::size_t settingsFileLimit = std::size_t{1} << 20; // Info.json, git's own files
inline constexpr std::size_t unlimitedSize = SIZE_MAX;

// Whether the last part of a path may be a symbolic link.
enum class Links { follow, refuse };

// The whole content of a regular file; throws FileError (also when it does not exist, is
// something else, such as a FIFO, which is never waited on, or is larger than `maxBytes`).
// With Links::refuse a symbolic link in the file's place is refused rather than followed.
std::string readWholeFile(const std::string &path, std::size_t maxBytes = unlimitedSize,
                          Links links = Links::follow);

// Throws FileError when `path`, or a folder between `root` and it, is a symbolic link, so that
// nothing is read or written outside `root` through a link placed inside it. Parts that do not
// exist yet pass.
void refuseLinks(const std::string &root, const std::string &path);

// "1 MiB", "64 KiB": a size limit in words.
std::string sizeLimitText(std::size_t bytes);

// A file's bytes followed by zeros a parser may read past the end (simdjson's padding).
struct PaddedText {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;

    std::string_view text() const { return {bytes.get(), size}; }
};

// The content of a regular file as large as stat() says it is, followed by `padding` zero
// bytes, read without first filling or copying the buffer: documents of tens of megabytes are
// read once and handed to the parser as they are. Throws FileError as readWholeFile() does.
PaddedText readPaddedFile(const std::string &path, std::size_t padding);
