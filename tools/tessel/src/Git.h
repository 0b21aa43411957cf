#pragma once

#include "ChildProcess.h"

#include <string>
#include <vector>

// git run in a repository folder so that it can never wait for a password: no terminal, no
// standard input, no prompt programs, ssh in batch mode. A push that needs credentials fails
// at once with git's own message.

// Runs git with `arguments` in `repository`; throws ChildProcessError with git's message.
std::string runGit(const std::string &repository, const std::vector<std::string> &arguments);

void initRepository(const std::string &folder);

// Stages `paths` (relative to the repository) and commits them when anything changed.
// Returns whether a commit was made.
bool commitFiles(const std::string &repository, const std::vector<std::string> &paths,
                 const std::string &message);

// Pushes the current branch when the repository has a remote; returns whether it pushed.
bool pushIfRemote(const std::string &repository);

// Keeps `pattern` out of git in this clone only (.git/info/exclude), never in a commit.
void excludeLocally(const std::string &repository, const std::string &pattern);

// Asks `remote` for its branches with `git ls-remote`, ended after `deadlineSeconds` (exit
// code 124 then) together with every helper git started, and never waiting for a password.
// Tells whether the remote can be reached with the credentials at hand.
ChildOutcome probeRemote(const std::string &repository, const std::string &remote,
                         int deadlineSeconds);
