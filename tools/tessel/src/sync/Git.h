#pragma once

#include "base/ChildProcess.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// git run in a repository folder so that it can never wait for a password: no terminal, no
// standard input, no prompt programs, ssh in batch mode. A push that needs credentials fails
// at once with git's own message; a configured credential helper still runs. Every step has a
// deadline (120 s, or TESSEL_GIT_TIMEOUT seconds when shorter), past which git and everything
// it started are killed and ChildProcessError names the step.

// Runs git with `arguments` in `repository`; throws ChildProcessError with git's message, any
// secret in a remote's address masked.
std::string runGit(const std::string &repository, const std::vector<std::string> &arguments);

// Seconds each git step may take.
double gitDeadlineSeconds();

void initRepository(const std::string &folder);

// Where a repository keeps things, as absolute paths: its git folder, the folder its linked
// worktrees share, and its top. Throws ChildProcessError when `folder` is in no repository.
struct GitFolders {
    std::string gitDir, commonDir, top;
};
GitFolders gitFolders(const std::string &folder);

// Stages `paths` (relative to the repository) and commits them when anything changed.
// Returns whether a commit was made.
bool commitFiles(const std::string &repository, const std::vector<std::string> &paths,
                 const std::string &message);

// Where the current branch is published: its tracking remote, else origin, else the first.
struct Upstream {
    std::string remote;
    std::string branch;
    // The local copy of the remote branch, refs/remotes/<remote>/<branch>.
    std::string trackingRef() const;
};
// Nullopt when the repository has no remote.
std::optional<Upstream> upstreamOf(const std::string &repository);

// Fetches the remote branch into its tracking ref; false when the remote has no such branch.
// Whether HEAD already holds the fetched branch.
bool fetchUpstream(const std::string &repository, const Upstream &upstream);
bool containsFetched(const std::string &repository, const Upstream &upstream);
// Settles the paths (relative to the repository's top) git could not merge, staging what it
// settles; false when it cannot settle them all.
using ConflictResolver = std::function<bool(const std::vector<std::string> &paths)>;
enum class MergeResult { fastForward, merged };
// Merges the fetched branch (call it when HEAD does not contain it yet). Unless HEAD only moves
// forward to it, `complete` then writes the files to commit with the merge and returns their
// paths (relative to `repository`). The files protected as MergeAs::generated keep this side's
// copy on a conflict; other conflicts go to `resolve`, and the merge is committed when it
// settles them all. Otherwise the merge is aborted and ChildProcessError thrown, leaving
// everything as it was.
MergeResult mergeUpstream(const std::string &repository, const Upstream &upstream,
                          const std::string &message, const ConflictResolver &resolve,
                          const std::function<std::vector<std::string>()> &complete);
// The paths of the merge under way that are not merged yet, relative to the top.
std::vector<std::string> unmergedPaths(const std::string &repository);
// Pushes HEAD to the remote branch. Nullopt when it went through; git's message when the
// remote rejected it because another push came first. Throws on any other failure.
std::optional<std::string> pushUpstream(const std::string &repository, const Upstream &upstream);

// The text of `path` (relative to the top, or "./"-prefixed relative to `repository`) in
// `revision` (":1", ":2" and ":3" are the base, ours and theirs of a merge under way);
// nullopt when it has no such file.
std::optional<std::string> fileAt(const std::string &repository, const std::string &revision,
                                  const std::string &path);
// Whether the other side changed `path` (relative to the top) between where the two sides
// parted and `theirs`; nullopt when they share no history.
std::optional<bool> changedSinceParting(const std::string &repository, const std::string &theirs,
                                        const std::string &path);
// A path inside the git folder (`git rev-parse --git-path`), relative to `repository` unless
// absolute, and whether something is there.
std::string gitPath(const std::string &repository, const std::string &name);
bool gitPathExists(const std::string &repository, const std::string &name);

// The name of the merge driver that keeps this side's copy of a regenerated document.
inline constexpr const char *generatedMergeDriver = "tessel-generated";

// `path` with the characters that patterns treat specially escaped.
std::string escapedGlob(std::string_view path);
// Keeps `pattern` out of git in this clone only (.git/info/exclude), never in a commit.
void excludeLocally(const std::string &repository, const std::string &pattern);
// How a file of the tool merges when both sides changed it: a regenerated document keeps this
// side's copy (generatedMergeDriver); a machine's history is never merged line by line, so
// the change on both sides shows as a conflict.
enum class MergeAs { generated, conflict };
struct Protected {
    std::string pattern;
    MergeAs mergeAs;
};
// Files matching each pattern are stored exactly as written, whatever attributes the
// repository itself gives them, and merge as said, in this clone only (.git/info/attributes).
void protectLocally(const std::string &repository, const std::vector<Protected> &files);

// Asks `remote` for its branches with `git ls-remote`, ended after `deadlineSeconds` (exit
// code 124 then) together with every helper git started, and never waiting for a password.
// Tells whether the remote can be reached with the credentials at hand.
ChildOutcome probeRemote(const std::string &repository, const std::string &remote,
                         int deadlineSeconds);
