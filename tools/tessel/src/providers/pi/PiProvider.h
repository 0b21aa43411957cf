#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>

// Pi ("pi"): the session files below sessions/ of its agent folder, PI_CODING_AGENT_DIR (or
// PI_AGENT_DIR), else ~/.pi/agent.
const ProviderDefinition &piProvider();

std::string piSessionsFolder(const Environment &environment);
