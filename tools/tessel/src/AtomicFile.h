#pragma once

#include <string>

// Replaces `path` with `contents` so that a reader sees either the old file or the new one,
// never a mix: the bytes go to a temporary file in the same folder, are flushed to disk, and
// the temporary file is renamed over `path`. On failure the old file is untouched and the
// temporary file removed. Throws FileError.
void writeFileAtomically(const std::string &path, const std::string &contents);

// Removes temporary files that an interrupted writeFileAtomically() left beside `path`.
void removeStaleTemporaries(const std::string &path);

// The whole content of a file; throws FileError (also when it does not exist).
std::string readWholeFile(const std::string &path);
