#pragma once

#include "Environment.h"

#include <optional>
#include <string>

// Refreshes the usage repository and publishes it: collect, docs/heatmap.svg and
// docs/README.md, a commit of the three documents, and a push when the repository has a
// remote. With a profile repository, its copy of the picture (tessel-heatmap.svg at its top)
// is committed and pushed as well. A repository with nothing new succeeds without a commit.
// Throws ToolError (git's own message for git failures).
void runDaily(const std::string &repositoryFolder, const std::optional<std::string> &profileFolder,
              const Environment &environment);
