#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>

// Qwen Code ("qwen"): the chats below projects/ of its runtime folder, QWEN_RUNTIME_DIR, else
// QWEN_HOME, else ~/.qwen. Its per-session summary file beside them (usage_record.jsonl)
// repeats the chats and is never read.
const ProviderDefinition &qwenProvider();

std::string qwenProjectsFolder(const Environment &environment);
