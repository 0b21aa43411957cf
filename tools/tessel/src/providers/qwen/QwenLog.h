#pragma once

#include "providers/ProviderDefinition.h"

#include <string>
#include <string_view>
#include <vector>

// Qwen Code chat recordings: projects/<folder>/chats/<session>.jsonl, one JSON record a line;
// replies are records of type "assistant" with usageMetadata {promptTokenCount,
// candidatesTokenCount, cachedContentTokenCount, thoughtsTokenCount, totalTokenCount}.
namespace qwen {

inline constexpr std::string_view usageNeedle = "\"usageMetadata\"";

// What a reply's figures are made of. The prompt count holds the cached count (Qwen Code
// fills it so from every provider it speaks to) and the thoughts stand apart from the
// candidates, unless the reply's own total says otherwise: a total equal to prompt + candidates
// means the thoughts are part of the candidates (OpenAI-style providers count reasoning inside
// the completion), and a cached count larger than the prompt, or a total that only adds up
// with it, means the cache was counted apart.
TokenSplit splitOf(std::int64_t prompt, std::int64_t candidates, std::int64_t cached,
                   std::int64_t thoughts, std::int64_t total);

// Reads one line. A reply is known by its time, model and figures (records carry no message
// id), ranked by its tokens. The model is the record's, the project its cwd, else the project
// folder's name.
ParseOutcome parseLine(ReadContext &context, LogSession &session, simdjson::dom::object line,
                       std::vector<UsageRecord> &records);

// The name of the project folder a chat file at `path` is in (.../projects/<folder>/chats/...).
std::string projectFolderName(std::string_view path);

} // namespace qwen
