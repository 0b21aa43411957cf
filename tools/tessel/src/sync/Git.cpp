#include "sync/Git.h"

#include "base/AtomicFile.h"
#include "base/ChildProcess.h"
#include "base/Errors.h"
#include "base/Secrets.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Every git step gets this long at most; TESSEL_GIT_TIMEOUT (seconds) may shorten it.
constexpr double defaultDeadlineSeconds = 120;

double deadlineSeconds() {
    return gitDeadlineSeconds();
}

} // namespace

double gitDeadlineSeconds() {
    const char *text = std::getenv("TESSEL_GIT_TIMEOUT");
    if (!text || !*text)
        return defaultDeadlineSeconds;
    char *end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (*end != '\0' || !(seconds > 0))
        return defaultDeadlineSeconds;
    return std::min(seconds, defaultDeadlineSeconds);
}

namespace {

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// The step's name for messages: "git push", past any leading "-c name=value".
std::string stepName(const std::vector<std::string> &arguments) {
    size_t i = 0;
    while (i + 1 < arguments.size() && arguments[i] == "-c")
        i += 2;
    return "git " + (i < arguments.size() ? arguments[i] : std::string());
}

ChildOptions gitOptions(const std::string &repository) {
    ChildOptions options;
    options.workingDirectory = repository;
    options.deadline = std::chrono::milliseconds(static_cast<long long>(deadlineSeconds() * 1000));
    options.environment = {
        {"GIT_TERMINAL_PROMPT", "0"},
        // Empty, so git neither runs a prompt program nor falls back to SSH_ASKPASS.
        {"GIT_ASKPASS", ""},
        {"SSH_ASKPASS", std::nullopt},
        {"SSH_ASKPASS_REQUIRE", "never"},
        {"GIT_SSH_COMMAND", "ssh -o BatchMode=yes"},
        {"LC_ALL", "C"},
    };
    // The user's own ssh command stays, in batch mode too.
    if (const char *own = std::getenv("GIT_SSH_COMMAND"); own && *own)
        options.environment["GIT_SSH_COMMAND"] = std::string(own) + " -o BatchMode=yes";
    return options;
}

// A git killed in the middle of an update leaves its lock files, which would stop every later
// sync. Those made while the killed step ran are its own; older ones are left to their owner.
void removeLocksLeftSince(const std::string &repository, fs::file_time_type since) {
    const ChildOutcome folders =
        runChild({"git", "rev-parse", "--git-dir", "--git-common-dir"}, gitOptions(repository));
    if (!folders.succeeded())
        return;
    std::istringstream lines(folders.standardOutput);
    for (std::string folder; std::getline(lines, folder);) {
        std::error_code error;
        const fs::path root = fs::path(repository) / folder;
        fs::recursive_directory_iterator entry(root, error), end;
        for (; !error && entry != end; entry.increment(error)) {
            if (entry->is_directory(error) && entry->path().filename() == "objects")
                entry.disable_recursion_pending();
            else if (entry->path().extension() == ".lock" && entry->is_regular_file(error) &&
                     entry->last_write_time(error) >= since - std::chrono::seconds(1))
                fs::remove(entry->path(), error);
        }
    }
}

// Runs git; a step past its deadline is an error whatever the caller expects of the status.
// Only a push runs the repository's hooks (pre-push may be the user's own check); the
// commits and merges of the tool's own data run none.
ChildOutcome git(const std::string &repository, const std::vector<std::string> &arguments) {
    std::vector<std::string> command{"git"};
    if (stepName(arguments) != "git push")
        command.insert(command.end(), {"-c", "core.hooksPath=/dev/null"});
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto started = fs::file_time_type::clock::now();
    ChildOutcome outcome = runChild(command, gitOptions(repository));
    if (outcome.timedOut) {
        removeLocksLeftSince(repository, started);
        throw ChildProcessError(stepName(arguments) + " did not finish within " +
                                secondsText(deadlineSeconds()) + " s and was stopped");
    }
    return outcome;
}

// git's message, with any secret in a remote's address masked; the step and status when git
// said nothing.
std::string failureText(const std::vector<std::string> &arguments, const ChildOutcome &outcome) {
    std::string message = outcome.message();
    if (message.empty())
        message = stepName(arguments) + " failed with status " + std::to_string(outcome.exitCode);
    return withoutSecrets(message);
}

[[noreturn]] void throwFailure(const std::vector<std::string> &arguments,
                               const ChildOutcome &outcome) {
    throw ChildProcessError(failureText(arguments, outcome));
}

std::string trimmedLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// A fallback identity where the user configured none, so a fresh machine can still commit.
// Looked up once per repository and run: a sync commits several times.
std::vector<std::string> fallbackIdentity(const std::string &repository) {
    static std::map<std::string, std::vector<std::string>> known;
    if (const auto found = known.find(repository); found != known.end())
        return found->second;
    const std::string set =
        "\n" + git(repository, {"config", "--get-regexp", "^user\\.(name|email)$"}).standardOutput;
    std::vector<std::string> options;
    if (set.find("\nuser.name ") == std::string::npos)
        options.insert(options.end(), {"-c", "user.name=tessel"});
    if (set.find("\nuser.email ") == std::string::npos)
        options.insert(options.end(), {"-c", "user.email=tessel@localhost"});
    known.emplace(repository, options);
    return options;
}

} // namespace

std::string runGit(const std::string &repository, const std::vector<std::string> &arguments) {
    const ChildOutcome outcome = git(repository, arguments);
    if (!outcome.succeeded())
        throwFailure(arguments, outcome);
    return outcome.standardOutput;
}

void initRepository(const std::string &folder) {
    runGit(folder, {"init", "--quiet"});
}

GitFolders gitFolders(const std::string &folder) {
    std::istringstream lines(runGit(folder, {"rev-parse", "--path-format=absolute", "--git-dir",
                                             "--git-common-dir", "--show-toplevel"}));
    GitFolders folders;
    for (std::string *path : {&folders.gitDir, &folders.commonDir, &folders.top}) {
        std::getline(lines, *path);
        *path = fs::path(*path).lexically_normal().string();
    }
    return folders;
}

bool commitFiles(const std::string &repository, const std::vector<std::string> &paths,
                 const std::string &message) {
    // Without paths, "--" would stand for everything the user has staged.
    if (paths.empty())
        return false;
    // Forced: a .gitignore in the repository cannot keep the tool's own files out.
    std::vector<std::string> add{"add", "--force", "--"};
    add.insert(add.end(), paths.begin(), paths.end());
    runGit(repository, add);
    std::vector<std::string> diff{"diff", "--cached", "--quiet", "--"};
    diff.insert(diff.end(), paths.begin(), paths.end());
    const ChildOutcome staged = git(repository, diff);
    if (staged.exitCode == 0)
        return false;
    if (staged.exitCode != 1)
        throwFailure(diff, staged);

    // Commit only these files.
    std::vector<std::string> commit = fallbackIdentity(repository);
    commit.insert(commit.end(), {"commit", "--quiet", "--no-verify", "-m", message, "--"});
    commit.insert(commit.end(), paths.begin(), paths.end());
    runGit(repository, commit);
    return true;
}

std::optional<Upstream> upstreamOf(const std::string &repository) {
    const std::string remotes = trimmedLine(runGit(repository, {"remote"}));
    if (remotes.empty())
        return std::nullopt;
    // The branch's own remote when it tracks one, else origin, else the first remote.
    const ChildOutcome head = git(repository, {"symbolic-ref", "--quiet", "--short", "HEAD"});
    if (!head.succeeded())
        throw ToolError(repository +
                        ": no branch is checked out (HEAD is detached), so there is nothing to "
                        "publish to; check the branch out again (git switch -)");
    const std::string branch = trimmedLine(head.standardOutput);
    std::string remote =
        trimmedLine(git(repository, {"config", "branch." + branch + ".remote"}).standardOutput);
    if (remote.empty())
        remote = (("\n" + remotes + "\n").find("\norigin\n") != std::string::npos)
                     ? "origin"
                     : remotes.substr(0, remotes.find('\n'));
    return Upstream{remote, branch};
}

std::string Upstream::trackingRef() const {
    return "refs/remotes/" + remote + "/" + branch;
}

bool fetchUpstream(const std::string &repository, const Upstream &upstream) {
    const std::vector<std::string> fetch{"fetch", "--quiet", "--no-tags", upstream.remote,
                                         "+refs/heads/" + upstream.branch + ":" +
                                             upstream.trackingRef()};
    const ChildOutcome outcome = git(repository, fetch);
    if (outcome.succeeded())
        return true;
    // An empty remote, or one without this branch yet: the first push makes it.
    if (outcome.standardError.find("couldn't find remote ref") != std::string::npos)
        return false;
    throwFailure(fetch, outcome);
}

bool containsFetched(const std::string &repository, const Upstream &upstream) {
    return git(repository, {"merge-base", "--is-ancestor", upstream.trackingRef(), "HEAD"})
               .exitCode == 0;
}

MergeResult mergeUpstream(const std::string &repository, const Upstream &upstream,
                          const std::string &message, const ConflictResolver &resolve,
                          const std::function<std::vector<std::string>()> &complete) {
    const std::string theirs = upstream.trackingRef();
    const std::vector<std::string> identity = fallbackIdentity(repository);
    // The documents the tool regenerates keep this side's copy when both sides changed them
    // (the driver "true" leaves ours); `complete` writes them anew before the merge commit.
    // "--ff" overrides a merge.ff=only of the user's, which would refuse every real merge.
    std::vector<std::string> merge = identity;
    merge.insert(merge.end(), {"-c", "merge." + std::string(generatedMergeDriver) + ".driver=true",
                               "merge", "--quiet", "--no-commit", "--ff", "--no-edit",
                               "--allow-unrelated-histories", "-m", message, theirs});
    const ChildOutcome merged = git(repository, merge);
    const auto underWay = [&] { return gitPathExists(repository, "MERGE_HEAD"); };
    const auto abort = [&] {
        if (underWay())
            git(repository, {"merge", "--abort"});
    };
    std::string why = failureText(merge, merged);
    try {
        if (merged.succeeded() && !underWay())
            return MergeResult::fastForward;
        const std::vector<std::string> conflicts = merged.succeeded() || !underWay()
                                                       ? std::vector<std::string>{}
                                                       : unmergedPaths(repository);
        if (merged.succeeded() || (!conflicts.empty() && resolve(conflicts))) {
            std::vector<std::string> add{"add", "--force", "--"};
            const std::vector<std::string> paths = complete();
            add.insert(add.end(), paths.begin(), paths.end());
            if (!paths.empty())
                runGit(repository, add);
            std::vector<std::string> conclude = identity;
            conclude.insert(conclude.end(), {"commit", "--quiet", "--no-verify", "--no-edit"});
            runGit(repository, conclude);
            return MergeResult::merged;
        }
        if (!conflicts.empty()) {
            why = "a conflict in";
            for (const std::string &path : conflicts)
                why += (&path == &conflicts.front() ? " " : ", ") + path;
        }
    } catch (...) {
        abort();
        throw;
    }
    abort();
    throw ChildProcessError("cannot take in " + upstream.remote + "/" + upstream.branch +
                            " (nothing was changed): " + why);
}

std::vector<std::string> unmergedPaths(const std::string &repository) {
    const std::string listed =
        runGit(repository, {"diff", "--name-only", "-z", "--diff-filter=U", "--no-renames"});
    std::vector<std::string> paths;
    for (size_t at = 0; at < listed.size();) {
        const size_t end = std::min(listed.find('\0', at), listed.size());
        if (end > at)
            paths.push_back(listed.substr(at, end - at));
        at = end + 1;
    }
    return paths;
}

std::optional<std::string> fileAt(const std::string &repository, const std::string &revision,
                                  const std::string &path) {
    const ChildOutcome shown = git(repository, {"cat-file", "blob", revision + ":" + path});
    if (!shown.succeeded())
        return std::nullopt;
    return shown.standardOutput;
}

std::optional<bool> changedSinceParting(const std::string &repository, const std::string &theirs,
                                        const std::string &path) {
    const ChildOutcome diff = git(repository, {"diff", "--quiet", "--no-ext-diff", "--no-textconv",
                                               "HEAD..." + theirs, "--", ":(top,literal)" + path});
    if (diff.exitCode == 0 || diff.exitCode == 1)
        return diff.exitCode == 1;
    return std::nullopt;
}

bool gitPathExists(const std::string &repository, const std::string &name) {
    return fs::exists(fs::path(repository) / gitPath(repository, name));
}

std::string gitPath(const std::string &repository, const std::string &name) {
    return trimmedLine(runGit(repository, {"rev-parse", "--git-path", name}));
}

std::optional<std::string> pushUpstream(const std::string &repository, const Upstream &upstream) {
    const std::vector<std::string> push{"push", "--quiet", upstream.remote,
                                        "HEAD:refs/heads/" + upstream.branch};
    const ChildOutcome outcome = git(repository, push);
    if (outcome.succeeded())
        return std::nullopt;
    // "[rejected]" when the remote moved on before, "[remote rejected]" when it moved during
    // the push; either way another push came first.
    if (outcome.standardError.find("rejected]") != std::string::npos)
        return withoutSecrets(outcome.message());
    throwFailure(push, outcome);
}

namespace {

// Adds `lines` to a file of this clone's own git folder (never committed), those not there yet.
void addLocalLines(const std::string &repository, const std::string &file,
                   const std::vector<std::string> &lines) {
    const fs::path target = fs::path(repository) / gitPath(repository, file);
    std::string contents;
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error)))
        contents = readWholeFile(target.string(), settingsFileLimit);
    removeStaleTemporaries(target.string());
    std::string added;
    for (const std::string &line : lines)
        if (("\n" + contents + added).find("\n" + line + "\n") == std::string::npos)
            added += line + "\n";
    if (added.empty())
        return;
    if (!contents.empty() && contents.back() != '\n')
        contents += '\n';
    fs::create_directories(target.parent_path(), error);
    writeFileAtomically(target.string(), contents + added);
}

} // namespace

std::string escapedGlob(std::string_view path) {
    std::string out;
    for (const char c : path) {
        if (c == '\\' || c == '*' || c == '?' || c == '[')
            out += '\\';
        // A line break cannot stand in a pattern line; "?" matches it among others.
        out += (c == '\n' || c == '\r') ? '?' : c;
    }
    return out;
}

void excludeLocally(const std::string &repository, const std::string &pattern) {
    addLocalLines(repository, "info/exclude", {pattern});
}

void protectLocally(const std::string &repository, const std::vector<Protected> &files) {
    std::vector<std::string> lines;
    for (const auto &[pattern, mergeAs] : files) {
        // Patterns holding blanks or quotes are written C-quoted, as git reads them.
        std::string quoted = pattern;
        if (pattern.find_first_of(" \t\"") != std::string::npos) {
            quoted = "\"";
            for (const char c : pattern) {
                if (c == '"' || c == '\\')
                    quoted += '\\';
                quoted += c == '\t' ? '?' : c;
            }
            quoted += '"';
        }
        // This clone's own attributes come before any the repository carries: the tool's
        // files are stored byte for byte as written (no line-end, encoding or keyword
        // conversion, no filter), whatever a committed .gitattributes says of them.
        lines.push_back(quoted + " -text -eol -working-tree-encoding -filter -ident " +
                        (mergeAs == MergeAs::generated
                             ? "merge=" + std::string(generatedMergeDriver)
                             : std::string("-merge")));
    }
    addLocalLines(repository, "info/attributes", lines);
}

ChildOutcome probeRemote(const std::string &repository, const std::string &remote,
                         int deadlineSeconds) {
    // timeout(1) signals its whole process group, so a hanging ssh or https helper ends too.
    return runChild({"timeout", "--kill-after=2", std::to_string(deadlineSeconds), "git",
                     "ls-remote", "--heads", "--", remote},
                    gitOptions(repository));
}
