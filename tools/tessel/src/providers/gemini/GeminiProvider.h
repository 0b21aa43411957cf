#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>
#include <vector>

// Gemini CLI ("gemini"): the chats/ folder of every project folder in .gemini/tmp of the home
// folder, or of GEMINI_CLI_HOME, which stands in for the home folder (or, as some set it, for
// the .gemini folder itself: both are looked in).
const ProviderDefinition &geminiProvider();

// The tmp/ folders the project folders are in.
std::vector<std::string> geminiTempFolders(const Environment &environment);
