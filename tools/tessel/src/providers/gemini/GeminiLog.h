#pragma once

#include "providers/ProviderDefinition.h"

#include <string>
#include <string_view>
#include <vector>

// Gemini CLI chat recordings: tmp/<project>/chats/session-*.jsonl (appended JSON lines: a
// metadata line, message records, {"$set": ...} updates and {"$rewindTo": id} markers), and
// the older whole-document session-*.json. Usage sits on messages of type "gemini".
namespace gemini {

// Lines without this text carry no usage.
inline constexpr std::string_view usageNeedle = "\"tokens\"";

// Reads one line: a message record, or the messages a {"$set": {"messages": [...]}} update or a
// metadata line carries. A message is written again as it updates, so it is known by its id
// alone wherever it stands (a resumed older session is copied into a new .jsonl beside its
// .json, and a project's folder may be copied whole under its new name); its rank is its tokens,
// so the copy that carries them counts, and of equal copies one whose project is known. Rewound
// messages were still paid for and count. Tokens are input (which holds the cached part) +
// output + thoughts + tool-use prompt; the cache is split off input. The project is the folder
// Gemini CLI names in the .project_root file of the chat's project folder; older, hash-named
// project folders have none and their project is unknown.
ParseOutcome parseLine(ReadContext &context, LogSession &session, simdjson::dom::object line,
                       std::vector<UsageRecord> &records);

// Reads an older whole-session document: its messages, as above.
ParseOutcome parseDocument(ReadContext &context, std::string_view json,
                           std::vector<UsageRecord> &records);

// The project folder named in .project_root of the project folder holding the chat at `path`
// (.../tmp/<project>/chats/...), or an empty text.
std::string projectOf(std::string_view path);

} // namespace gemini
