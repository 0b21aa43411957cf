#include "base/FileRange.h"

#include <cerrno>
#include <unistd.h>

bool readAt(int fd, std::uint64_t at, char *into, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::pread(fd, into + done, size - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool writeAt(int fd, std::uint64_t at, const char *from, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = ::pwrite(fd, from + done, size - done, static_cast<off_t>(at + done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}
