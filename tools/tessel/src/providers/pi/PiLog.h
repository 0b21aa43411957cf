#pragma once

#include "providers/ProviderDefinition.h"

#include <string_view>
#include <vector>

// Pi session files: sessions/--<folder>--/<time>_<id>.jsonl, a header line ({"type":"session",
// "cwd": ...}) and then entries; replies are {"type":"message"} entries whose message has role
// "assistant" and usage {input, output, cacheRead, cacheWrite, totalTokens, cost}.
namespace pi {

// Cheap test whether a line can matter: a header or an entry with usage.
bool mayMatter(std::string_view line);

// Reads one line. The header's cwd is the session's project (else the session folder's name).
// A reply's tokens are input + output + cache read + cache write (Pi keeps the cache apart from
// input and the reasoning inside output). Forking and branching copy entries into a new
// session file unchanged, so a reply is known by its own time, model and figures, not by its
// session; its rank is its tokens.
ParseOutcome parseLine(ReadContext &context, LogSession &session, simdjson::dom::object line,
                       std::vector<UsageRecord> &records);

} // namespace pi
