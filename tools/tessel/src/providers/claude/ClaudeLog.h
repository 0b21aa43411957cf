#pragma once

#include "base/Day.h"
#include "providers/UsageRecord.h"

#include <simdjson.h>

#include <optional>
#include <string_view>

// Claude Code session logs: one JSON object a line. Only assistant lines carry usage.
namespace claude {

// Lines without this text are never parsed: it is cheap to find and every usage line has it.
inline constexpr std::string_view usageNeedle = "\"usage\"";

enum class LineKind { usage, ignored, malformed };

struct ParsedLine {
    LineKind kind = LineKind::ignored;
    UsageRecord record;
    // For a main-chain message: a mark under the identity its sidechain replays share, which
    // outranks every replay, so that only the main-chain copy counts whatever is read first.
    std::optional<UsageRecord> mainChainMark;
};

// Reads one line. A usage line is an assistant message with message.usage and a timestamp
// whose model is not "<synthetic>", or a progress line carrying such a line under
// data.message. Its identity is message.id with requestId (message.id alone without one); a
// sidechain line (a subagent's or side question's) is known by message.id alone, since a
// replay of a main-chain message carries a new requestId. Its rank is output_tokens, because
// the first streamed copy of a message undercounts its output. `capacity` is the readable
// size from line.data().
ParsedLine parseLine(simdjson::ondemand::parser &parser, LocalDays &days, std::string_view line,
                     size_t capacity);

} // namespace claude
