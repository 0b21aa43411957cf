#include "base/FileLock.h"

#include "base/Errors.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

FileLock::FileLock(const std::string &path, int timeoutSeconds) {
    // Never through a link, and never waiting on a FIFO put in the lock's place: either could
    // make the lock create or hold a file outside the folder it guards.
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (m_fd < 0) {
        const int error = errno;
        if (error == ELOOP)
            throw FileError(path, "a symbolic link; refused, as tessel opens no lock through a "
                                  "link: remove it");
        throw FileError(path, systemReason(error));
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(m_fd);
        throw FileError(path, "not a regular file; remove it");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            ::close(m_fd);
            throw FileError(path, "cannot lock: " + systemReason(error));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(m_fd);
            throw ToolError("another tessel run is still updating this repository; try again "
                            "later");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

FileLock::~FileLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}
