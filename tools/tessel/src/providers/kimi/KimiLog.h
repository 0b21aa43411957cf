#pragma once

#include "providers/ProviderDefinition.h"

#include <string_view>
#include <vector>

// Kimi CLI's wire files: sessions/<folder hash>/<session>/wire.jsonl, a metadata line and then
// {"timestamp": <seconds>, "message": {"type": ..., "payload": ...}} records. A step's usage is
// a StatusUpdate whose payload carries token_usage {input_other, input_cache_read,
// input_cache_creation, output} and the step's message_id.
namespace kimi {

inline constexpr std::string_view usageNeedle = "\"token_usage\"";

// Reads one line. Tokens are the four figures summed (input_other is the input without the
// cache). A step is known by its message_id (a forked session's wire file copies the source's
// records), else by its time and figures, and ranked by its tokens. The wire records neither
// the model nor the folder in plain text: both are unknown.
ParseOutcome parseLine(ReadContext &context, LogSession &session, simdjson::dom::object line,
                       std::vector<UsageRecord> &records);

} // namespace kimi
