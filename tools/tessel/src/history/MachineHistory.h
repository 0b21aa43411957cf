#pragma once

#include "history/RepositoryFiles.h"
#include "history/UsageHistory.h"

#include <string>
#include <vector>

// Several machines publish to one repository. Each keeps its own history in
// docs/machines/<id>.json, which only that machine ever writes, and docs/usage.json is the sum
// of all of them, regenerated rather than merged.

std::string machinesFolder(const RepositoryFiles &files);
std::string machineHistoryPath(const RepositoryFiles &files, const std::string &machineId);

// True when any machine keeps a history in the repository.
bool hasMachineHistories(const RepositoryFiles &files);

// The sum of every machine's history, day by day and provider by provider. A file that cannot
// be read is left out and named in `warnings`.
UsageHistory summedHistory(const RepositoryFiles &files, std::vector<std::string> &warnings);

// Rewrites docs/usage.json as summedHistory() when its text changes.
void writeSummedUsage(const RepositoryFiles &files, std::vector<std::string> &warnings);
