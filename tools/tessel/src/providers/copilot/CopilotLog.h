#pragma once

#include "providers/ProviderDefinition.h"

#include <optional>
#include <string>
#include <string_view>

// GitHub Copilot CLI keeps its usage in the SQLite session store: one row per model call in
// assistant_usage_events, the folder of each session in sessions.cwd.
namespace copilot {

// Every usage row of the session store at `path`, opened read-only. A row is known by its
// session and event id; its content (session, time, model and figures) is a second identity,
// so that a store rebuilt under new ids counts no row twice. input_tokens holds the cache reads
// and writes, and output_tokens the reasoning: both are split off, and a row's tokens are
// input + output. The model is `model` (else copilot_usage_model), the project the session's
// cwd. Rows that cannot be understood are skipped; throws ToolError when the store cannot be
// read at all or has no usage table.
DatabaseRead readDatabase(const std::string &path, LocalDays &days);

// Seconds since the epoch of a created_at text: ISO-8601 with its zone, or without one in UTC
// (SQLite's datetime('now') writes "yyyy-MM-dd HH:mm:ss" in UTC); nullopt for anything else. A
// whole number there is seconds since the epoch, or milliseconds when it is that large.
std::optional<std::int64_t> createdAt(std::string_view text);

} // namespace copilot
