#pragma once

#include "providers/ProviderDefinition.h"

#include <string>

// Kilo CLI, a fork of OpenCode, keeps OpenCode's database in its own folder: its `message`
// (and `session_message`) rows hold OpenCode's message documents.
namespace kilo {

// Every message of the database at `path`, read as OpenCode's are (read-only, one identity per
// message, a forked session's copies counted once), filed under Kilo with identities of its own.
// Throws ToolError when the database cannot be read at all.
DatabaseRead readDatabase(const std::string &path, LocalDays &days);

} // namespace kilo
