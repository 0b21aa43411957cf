#pragma once

#include "base/Environment.h"

#include <string>
#include <vector>

// The log folders the limits are read from, from the environment (each tool's own definition
// says where it keeps its logs; this gathers the two the limits need).
struct LogLocations {
    std::vector<std::string> claudeProjectFolders;
    std::vector<std::string> codexFolders;

    static LogLocations fromEnvironment(const Environment &environment);
};
