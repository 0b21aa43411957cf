#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <optional>
#include <string>
#include <vector>

// Claude Code ("claude"): JSON lines in projects/ of its configuration folders.
const ProviderDefinition &claudeProvider();

// The folders named in CLAUDE_CONFIG_DIR (comma-separated), trimmed and without trailing
// slashes; nullopt when the variable is not set.
std::optional<std::vector<std::string>> configuredClaudeFolders(const Environment &environment);

// Every projects/ folder to read: in each CLAUDE_CONFIG_DIR folder (one that already is a
// projects folder as it is), else in ~/.config/claude (or $XDG_CONFIG_HOME/claude) and ~/.claude.
std::vector<std::string> claudeProjectFolders(const Environment &environment);
