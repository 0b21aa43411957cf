#pragma once

#include <cstddef>
#include <string>

// Reads a status-line input from `fd` up to the end of its first complete JSON object and no
// further: Claude Code may keep the input open after writing it, and the status line must
// answer at once. Throws ToolError when the input does not start with an object, ends before
// the object does, or passes `maxBytes`.
std::string readFirstJsonObject(int fd, std::size_t maxBytes);
