#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>

// GitHub Copilot CLI ("copilot"): session-store.db in COPILOT_HOME, else ~/.copilot. Only the
// store is read, never the OpenTelemetry files Copilot can also write, which repeat it.
const ProviderDefinition &copilotProvider();

std::string copilotSessionStore(const Environment &environment);
