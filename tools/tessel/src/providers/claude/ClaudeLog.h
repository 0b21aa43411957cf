#pragma once

#include "providers/ProviderDefinition.h"

#include <string_view>
#include <vector>

// Claude Code session logs: one JSON object a line. Only assistant lines carry usage.
namespace claude {

// Lines without this text are never parsed: it is cheap to find and every usage line has it.
inline constexpr std::string_view usageNeedle = "\"usage\"";

// Reads one line. A usage line is an assistant message with message.usage and a timestamp
// whose model is not "<synthetic>", or a progress line carrying such a line under
// data.message. Its identity is message.id with requestId (message.id alone without one); a
// sidechain line (a subagent's or side question's) is known by message.id alone, since a
// replay of a main-chain message carries a new requestId. Its rank is output_tokens, because
// the first streamed copy of a message undercounts its output. A main-chain message also gives
// a mark under the identity its sidechain replays share, which outranks every replay, so that
// only the main-chain copy counts whatever is read first. The model is message.model, the
// project the line's cwd.
ParseOutcome parseLine(ReadContext &context, LogSession &session, simdjson::dom::object line,
                       std::vector<UsageRecord> &records);

} // namespace claude
