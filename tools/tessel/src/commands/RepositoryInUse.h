#pragma once

#include "base/Environment.h"

#include <string>
#include <vector>

// The usage repository the tray utility works in, found the way the utility finds it:
// "TesselRepoDir" in the user's $XDG_CONFIG_HOME/TesselMenu/Info.json, else in the Info.json
// shipped beside this tool, else the current folder when it holds docs/usage.json, else
// $XDG_DATA_HOME/tesselmenu/usage.
struct RepositoryInUse {
    std::string folder;
    // Where the choice came from, in words, for the doctor's report.
    std::string reason;
};

// `toolFolder` is the folder of this executable (where the shipped Info.json lies).
RepositoryInUse findRepositoryInUse(const Environment &environment,
                                    const std::string &currentFolder,
                                    const std::string &toolFolder);

// The settings files above that are there but refused, each with its reason: one that is not
// a regular file (never waited on), is larger than 1 MiB or is not a JSON object.
std::vector<std::string> refusedSettings(const Environment &environment,
                                         const std::string &toolFolder);

// The folder holding the running executable.
std::string executableFolder();
