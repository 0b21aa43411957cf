#pragma once

#include <cstdint>
#include <string>

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

// The whole content of a regular file; throws FileError (also when it does not exist, is
// something else, such as a FIFO, which is never waited on, or holds more than `maxBytes`).
std::string readWholeFile(const std::string &path, std::uint64_t maxBytes = UINT64_MAX);
