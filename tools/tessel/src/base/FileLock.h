#pragma once

#include <string>

// An exclusive advisory lock on a file, held for the object's lifetime, so that a scheduled
// run and the menu's refresh never update the same history at once. Waits up to
// `timeoutSeconds` for another holder, then throws ToolError.
class FileLock {
public:
    FileLock(const std::string &path, int timeoutSeconds);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int m_fd = -1;
};
