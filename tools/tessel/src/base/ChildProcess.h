#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ChildOptions {
    std::string workingDirectory;
    // Variables to set (a value) or remove (nullopt) in the child's copy of our environment.
    std::map<std::string, std::optional<std::string>> environment;
    // Past this the child and everything it started are killed; nullopt waits for ever.
    std::optional<std::chrono::milliseconds> deadline;
};

struct ChildOutcome {
    int exitCode = 0; // 128 + signal number when ended by a signal
    std::string standardOutput;
    std::string standardError;
    bool timedOut = false;

    bool succeeded() const { return exitCode == 0 && !timedOut; }
    // Standard error, else standard output, trimmed and folded onto one line.
    std::string message() const;
};

// Runs a program found on PATH without a shell, with standard input from /dev/null and in a
// session (and so a process group) of its own, so it has no terminal to ask for a password
// on. Waits for it to end, then kills what is left of its group (a hook's background job that
// holds the output open). Throws ChildProcessError when the program cannot be started at all.
// While it runs, SIGTERM, SIGINT or SIGHUP sent to this process kill the child's group before
// this process ends, so stopping the tool never leaves its children running.
ChildOutcome runChild(const std::vector<std::string> &arguments, const ChildOptions &options = {});

// True when `program` names an executable found on PATH.
bool programOnPath(const std::string &program);
