#pragma once

#include <cstddef>
#include <string_view>

// simdjson's on-demand parser reads a document lazily and trusts its nesting: a line cut off
// before its closing bracket can send it reading past the document. Every log document is
// checked here before any field of it is read.

// Deepest nesting accepted, the on-demand parser's own default limit.
inline constexpr std::size_t maxJsonDepth = 1024;

// True when `text` is a single JSON object or array, optionally after a UTF-8 byte-order mark
// and white space: its brackets nest and match, every string is closed, it is at most
// maxJsonDepth deep and only white space follows it. The members themselves are left to the
// parser, which reports what is wrong inside a sound structure as an error.
bool hasSoundJsonStructure(std::string_view text);
