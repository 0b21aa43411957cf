#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>
#include <vector>

// Codex ("codex"): rollout files (JSON lines) below sessions/ and archived_sessions/ of
// $CODEX_HOME (~/.codex).
const ProviderDefinition &codexProvider();

// The two folders its rollouts are in.
std::vector<std::string> codexSessionFolders(const Environment &environment);
