#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ChildOptions {
    std::string workingDirectory;
    // Variables to set (a value) or remove (nullopt) in the child's copy of our environment.
    std::map<std::string, std::optional<std::string>> environment;
};

struct ChildOutcome {
    int exitCode = 0; // 128 + signal number when ended by a signal
    std::string standardOutput;
    std::string standardError;

    bool succeeded() const { return exitCode == 0; }
    // Standard error, else standard output, trimmed and folded onto one line.
    std::string message() const;
};

// Runs a program found on PATH without a shell, with standard input from /dev/null and in a
// session of its own, so it has no terminal to ask for a password on. Waits for it to end.
// Throws ChildProcessError when the program cannot be started at all.
ChildOutcome runChild(const std::vector<std::string> &arguments, const ChildOptions &options = {});

// True when `program` names an executable found on PATH.
bool programOnPath(const std::string &program);
