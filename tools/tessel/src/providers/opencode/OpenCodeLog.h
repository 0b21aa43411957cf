#pragma once

#include "providers/ProviderDefinition.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// OpenCode keeps one JSON document per message: rows of the `message` or `session_message`
// table of its SQLite databases (1.2 and later) or one file per message (older versions). The
// same message may be in several, so all forms share one identity: the message id; the
// database is the newer storage, and its copy wins over a file's.
namespace opencode {

// Reads a message document. Assistant messages with tokens give a record whose tokens are
// input + output + reasoning + cache read + cache write (a negative or missing figure counts
// 0), ranked by that sum so that a later, fuller copy replaces an earlier one. The identity is `id` when given, else the document's
// own "id", else `fallbackId`; `fallbackTime` (milliseconds) stands in for a missing
// time.created. Its content (creation time, model and every token figure) is a second
// identity: forking a session copies messages under new ids, and such a copy counts once.
// The model is modelID (or model.modelID), the project path.root (or path.cwd), else
// `fallbackProject`. Anything else gives nullopt.
std::optional<UsageRecord> parseMessage(std::string_view json, std::string_view id,
                                        std::string_view fallbackId,
                                        std::optional<std::int64_t> fallbackTime, LocalDays &days,
                                        NameTable &names, std::string_view fallbackProject = {});

// A message file (storage/message/<session>/msg_*.json): the file name is the message id when
// the document does not say. A document with tokens that cannot be read is malformed.
ParseOutcome parseMessageFile(ReadContext &context, std::string_view json,
                              std::vector<UsageRecord> &records);

// Every message of the database at `path`, from its `message` and `session_message` tables
// (whichever exist), opened read-only so OpenCode is never locked out; a message's project is
// its session's directory where the `session` table has one. Rows whose type says user or
// synthetic never count. A session forked from another (`fork_session_id`, and `fork_boundary`
// the last seq it copied) holds copies that keep their original's seq: such a row is known by
// its original's id, so it counts once even where its time or id changed. Database copies
// outrank message files' copies. Rows that cannot be understood are skipped; a failure
// part-way keeps the rows read before it. Throws ToolError when the database cannot be opened
// or has neither table.
DatabaseRead readDatabase(const std::string &path, LocalDays &days);

} // namespace opencode
