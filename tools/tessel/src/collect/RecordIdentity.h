#pragma once

#include "providers/UsageRecord.h"

#include <cstddef>
#include <string_view>
#include <vector>

// Gives each record from `first` on that has no identity of its own (key 0) one made of
// `bytes` (the line or document it was read from, or a database's path) and its place among
// them: the same line read again, from a replaced, restored or moved file, is then the same
// usage and counts once. A byte-order mark before and a carriage return after the bytes do not
// change them.
void identifyByBytes(std::vector<UsageRecord> &records, std::size_t first, std::string_view bytes);
