#include "providers/LogLocations.h"

#include "providers/claude/ClaudeProvider.h"
#include "providers/codex/CodexProvider.h"

LogLocations LogLocations::fromEnvironment(const Environment &environment) {
    return {::claudeProjectFolders(environment), codexSessionFolders(environment)};
}
