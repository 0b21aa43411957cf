#pragma once

#include "base/Environment.h"
#include "collect/Pricing.h"
#include "history/RepositoryFiles.h"

#include <cstdint>
#include <string>
#include <vector>

struct CollectSummary {
    std::size_t filesRead = 0;
    std::uint64_t bytesRead = 0;
    std::size_t daysStored = 0;
    bool demo = false;
    // Files or lines that were skipped, in plain words, for standard error.
    std::vector<std::string> warnings;
};

// Reads what is new in the local logs, counts it per local day and provider, merges it into
// this machine's stored history (docs/machines/<id>.json) and rewrites docs/usage.json, the
// sum of every machine's history, atomically. Days whose logs are gone keep their stored
// figures. Beside them it keeps where this machine's tokens went (docs/.tessel-state.breakdown:
// per day, tool, model and project, priced with `pricing`), which adds up to the day's figures.
// Throws ToolError; a failed collection leaves the old files as they were.
CollectSummary collectUsage(const std::string &repositoryFolder, const Environment &environment,
                            const Pricing &pricing = Pricing::shipped());
