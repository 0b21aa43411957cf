#pragma once

#include <stdexcept>
#include <string>

// A failure the tool reports as one line on standard error before exiting with status 1.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line does not name a known command or lacks a value: exit status 2.
class UsageError : public ToolError {
public:
    using ToolError::ToolError;
};

// A file or folder the tool needs could not be read or written; names the path and the reason.
class FileError : public ToolError {
public:
    FileError(const std::string &path, const std::string &reason)
        : ToolError(path + ": " + reason) {}
};

// docs/usage.json exists but is not a usage file; it is never overwritten in that case.
class HistoryFormatError : public ToolError {
public:
    using ToolError::ToolError;
};

// A child program (git, systemctl) failed; carries its own message.
class ChildProcessError : public ToolError {
public:
    using ToolError::ToolError;
};

// The user's systemd instance cannot be reached or refused the timer.
class ScheduleError : public ToolError {
public:
    using ToolError::ToolError;
};

// The system's description of errno, for FileError reasons.
std::string systemReason(int error);
