#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>

// Kimi CLI ("kimi"): the wire.jsonl files below sessions/ of its share folder, KIMI_SHARE_DIR
// (or KIMI_DATA_DIR), else ~/.kimi. The context files beside them are never read.
const ProviderDefinition &kimiProvider();

std::string kimiSessionsFolder(const Environment &environment);
