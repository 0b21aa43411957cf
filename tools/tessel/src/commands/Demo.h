#pragma once

#include "base/Environment.h"

#include <string>

// Prepares `folder` as a demo repository: a git repository (no remote) whose docs/usage.json
// is a demo history (see DemoHistory.h). Refreshes an existing demo; refuses a folder whose
// docs/usage.json is a real history. Throws ToolError.
void prepareDemoRepository(const std::string &folder, const Environment &environment);
