#include "Git.h"

#include "AtomicFile.h"
#include "ChildProcess.h"
#include "Errors.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

ChildOptions gitOptions(const std::string &repository) {
    ChildOptions options;
    options.workingDirectory = repository;
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

ChildOutcome git(const std::string &repository, const std::vector<std::string> &arguments) {
    std::vector<std::string> command{"git"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runChild(command, gitOptions(repository));
}

std::string trimmedLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::string runGit(const std::string &repository, const std::vector<std::string> &arguments) {
    const ChildOutcome outcome = git(repository, arguments);
    if (!outcome.succeeded()) {
        std::string message = outcome.message();
        if (message.empty())
            message = "git " + arguments.front() + " failed with status " +
                      std::to_string(outcome.exitCode);
        throw ChildProcessError(message);
    }
    return outcome.standardOutput;
}

void initRepository(const std::string &folder) {
    runGit(folder, {"init", "--quiet"});
}

bool commitFiles(const std::string &repository, const std::vector<std::string> &paths,
                 const std::string &message) {
    std::vector<std::string> add{"add", "--"};
    add.insert(add.end(), paths.begin(), paths.end());
    runGit(repository, add);
    std::vector<std::string> diff{"diff", "--cached", "--quiet", "--"};
    diff.insert(diff.end(), paths.begin(), paths.end());
    const ChildOutcome staged = git(repository, diff);
    if (staged.exitCode == 0)
        return false;
    if (staged.exitCode != 1)
        throw ChildProcessError(staged.message());

    // Commit only these files, with a fallback identity where the user configured none, so a
    // fresh machine can still publish.
    std::vector<std::string> commit;
    if (git(repository, {"config", "user.name"}).standardOutput.empty())
        commit.insert(commit.end(), {"-c", "user.name=tessel"});
    if (git(repository, {"config", "user.email"}).standardOutput.empty())
        commit.insert(commit.end(), {"-c", "user.email=tessel@localhost"});
    commit.insert(commit.end(), {"commit", "--quiet", "--no-verify", "-m", message, "--"});
    commit.insert(commit.end(), paths.begin(), paths.end());
    runGit(repository, commit);
    return true;
}

bool pushIfRemote(const std::string &repository) {
    const std::string remotes = trimmedLine(runGit(repository, {"remote"}));
    if (remotes.empty())
        return false;
    // The branch's own remote when it tracks one, else origin, else the first remote.
    const std::string branch =
        trimmedLine(runGit(repository, {"symbolic-ref", "--quiet", "--short", "HEAD"}));
    std::string remote =
        trimmedLine(git(repository, {"config", "branch." + branch + ".remote"}).standardOutput);
    if (remote.empty())
        remote = (("\n" + remotes + "\n").find("\norigin\n") != std::string::npos)
                     ? "origin"
                     : remotes.substr(0, remotes.find('\n'));
    runGit(repository, {"push", "--quiet", remote, "HEAD"});
    return true;
}

void excludeLocally(const std::string &repository, const std::string &pattern) {
    const std::string path =
        trimmedLine(runGit(repository, {"rev-parse", "--git-path", "info/exclude"}));
    const fs::path exclude = fs::path(repository) / path;
    std::string contents;
    try {
        contents = readWholeFile(exclude.string());
    } catch (const FileError &) {
    }
    if (("\n" + contents).find("\n" + pattern + "\n") != std::string::npos)
        return;
    std::error_code error;
    fs::create_directories(exclude.parent_path(), error);
    std::ofstream out(exclude, std::ios::app);
    if (!contents.empty() && contents.back() != '\n')
        out << '\n';
    out << pattern << '\n';
}

ChildOutcome probeRemote(const std::string &repository, const std::string &remote,
                         int deadlineSeconds) {
    // timeout(1) signals its whole process group, so a hanging ssh or https helper ends too.
    return runChild({"timeout", "--kill-after=2", std::to_string(deadlineSeconds), "git",
                     "ls-remote", "--heads", "--", remote},
                    gitOptions(repository));
}
