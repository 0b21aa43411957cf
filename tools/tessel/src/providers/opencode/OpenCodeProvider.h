#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>

// OpenCode ("opencode"): its SQLite databases and the older message files in its data folder,
// OPENCODE_DATA_DIR, else $XDG_DATA_HOME/opencode, else ~/.local/share/opencode.
const ProviderDefinition &openCodeProvider();

std::string openCodeDataFolder(const Environment &environment);
// OPENCODE_DB, else opencode.db in the data folder.
std::string openCodeDatabase(const Environment &environment);
