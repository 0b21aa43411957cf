#pragma once

#include "base/Environment.h"

#include <optional>
#include <string>
#include <vector>

// Where the AI coding tools keep their usage, from the environment:
// Claude Code: every folder of CLAUDE_CONFIG_DIR (comma-separated), else ~/.config/claude
//   (or $XDG_CONFIG_HOME/claude) and ~/.claude; in each, projects/.
// Codex: $CODEX_HOME (default ~/.codex), sessions/ and archived_sessions/.
// OpenCode: the data folder OPENCODE_DATA_DIR, else $XDG_DATA_HOME/opencode, else
//   ~/.local/share/opencode; its opencode.db (OPENCODE_DB overrides), the other release
//   channels' opencode-<channel>.db beside it, and storage/message/.
struct LogLocations {
    std::vector<std::string> claudeProjectFolders;
    std::vector<std::string> codexFolders;
    std::string openCodeDatabase;
    std::string openCodeDataFolder;
    std::string openCodeMessageFolder;

    static LogLocations fromEnvironment(const Environment &environment);
};

// The folders named in CLAUDE_CONFIG_DIR (comma-separated), trimmed and without trailing
// slashes; nullopt when the variable is not set.
std::optional<std::vector<std::string>> configuredClaudeFolders(const Environment &environment);
