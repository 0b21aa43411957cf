#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>
#include <vector>

// Kilo CLI ("kilo"): kilo.db in its data folder (KILO_DATA_DIR, else $XDG_DATA_HOME/kilo, else
// ~/.local/share/kilo), or the database KILO_DB names (a relative name is in the data folder),
// and every release channel's kilo-<channel>.db (or, from before the rename,
// opencode-<channel>.db) there.
const ProviderDefinition &kiloProvider();

std::string kiloDataFolder(const Environment &environment);
