#pragma once

#include "base/Environment.h"

#include <optional>
#include <string>
#include <vector>

// Refreshes the usage repository and publishes it: collect, docs/heatmap.svg and
// docs/README.md, a commit of this machine's history, the sum and the documents, and, when the
// repository has a remote, a fetch that takes in the other machines' histories and a push.
// With a profile repository, its copy of the picture (tessel-heatmap.svg at its top) is
// committed and pushed as well. A document that is the user's own file is left alone. Only
// the files written here are staged. Nothing published names a project unless
// `publishProjects` (or TESSEL_PUBLISH_PROJECTS=1) asks the README to show this machine's
// split by project. Returns notes for standard error (documents left alone, skipped logs).
// Throws ToolError (git's own message for git failures).
std::vector<std::string> runDaily(const std::string &repositoryFolder,
                                  const std::optional<std::string> &profileFolder,
                                  const Environment &environment, bool publishProjects = false);
