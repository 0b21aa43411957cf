#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Replaces `path` with `contents` so that a reader sees either the old file or the new one,
// never a mix: the bytes go to a temporary file in the same folder, are flushed to disk, and
// the temporary file is renamed over `path`. On failure the old file is untouched and the
// temporary file removed. A replaced file keeps its mode; a new one follows the umask.
// Throws FileError.
void writeFileAtomically(const std::string &path, const std::string &contents);

// writeFileAtomically() only when `path` does not already hold `contents`, so an unchanged
// file keeps its modification time and readers that cache it by that keep their copy.
void replaceFileIfChanged(const std::string &path, const std::string &contents);

// Removes temporary files that an interrupted writeFileAtomically() left beside `path`.
void removeStaleTemporaries(const std::string &path);

// The whole content of a regular file; throws FileError (also when it does not exist or is
// something else, such as a FIFO, which is never waited on).
std::string readWholeFile(const std::string &path);

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
