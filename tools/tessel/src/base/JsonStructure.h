#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// simdjson's on-demand parser reads a document lazily and trusts it: a line cut off before
// its closing bracket can send it reading past the document, and once it meets an error
// half-way it must not be asked for anything more. Every log document is therefore checked
// here, whole, before any field of it is read; the parser then only meets members of an
// unexpected type or missing ones, which the readers handle.

// Deepest nesting accepted, the on-demand parser's own default limit.
inline constexpr std::size_t maxJsonDepth = 1024;

// True when `text` is one JSON object or array by the grammar (strings closed and their
// escapes valid, numbers and literals well formed, brackets nested and matched, members and
// elements separated), at most maxJsonDepth deep, with only white space around it and an
// optional UTF-8 byte-order mark before it. UTF-8 itself is left to the parser, which checks it
// before anything is read.
bool hasSoundJsonStructure(std::string_view text);

// `text`, which hasSoundJsonStructure(), with every number that neither a 64-bit integer nor a
// double can hold (an integer beyond 64 bits, a figure beyond 1.8e308) replaced by an empty
// string: simdjson refuses such a number, and with it the whole document, wherever it stands.
// No reader takes a string for a figure, so a figure that large is still refused where it is
// read, and only there.
std::string withRepresentableNumbers(std::string_view text);
