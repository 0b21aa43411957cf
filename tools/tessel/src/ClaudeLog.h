#pragma once

#include "Day.h"
#include "UsageRecord.h"

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
};

// Reads one line. A usage line is an assistant message with message.usage and a timestamp
// whose model is not "<synthetic>". Its identity is message.id with requestId (message.id
// alone without one); its rank is output_tokens, because the first streamed copy of a
// message undercounts its output. `capacity` is the readable size from line.data().
ParsedLine parseLine(simdjson::ondemand::parser &parser, LocalDays &days, std::string_view line,
                     size_t capacity);

} // namespace claude
