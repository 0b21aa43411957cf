#pragma once

#include "sync/Git.h"

#include <string>
#include <vector>

// A sync stopped at any moment (a power cut, an out-of-memory kill) leaves git's lock files
// and perhaps a merge half done, and git refuses every later step until they are gone. Before
// each sync these are cleared away, unless a git is at work in the repository right then.

// Every commit and merge of a sync carries this message, followed by the day.
inline constexpr const char *syncMessagePrefix = "Token usage for ";

struct RepositoryCondition {
    // Lock files of git's, as paths; stale unless gitAtWork.
    std::vector<std::string> locks;
    // A merge a sync started and did not finish.
    bool interruptedSync = false;
    // Something the person started and has not finished ("a rebase"), and how to undo it.
    std::string ownOperation;
    std::string undo;
    // A git process is running in the repository: what it holds is not stale.
    bool gitAtWork = false;
};

// What the repository holds of the above.
RepositoryCondition examineCondition(const GitFolders &folders);

// Removes stale lock files and undoes a merge an interrupted sync left, unless a git is at work
// in the repository; returns what was done, for standard error. Throws ToolError, changing
// nothing, when an operation of the person's own is under way: a sync would get in its way.
std::vector<std::string> repairRepository(const std::string &repository, const GitFolders &folders);
