#include "base/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

std::shared_ptr<const MappedFile> MappedFile::open(const std::string &path) {
    // Neither through a link nor waiting on a FIFO: only a regular file is mapped.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    void *data = MAP_FAILED;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        data = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (data == MAP_FAILED)
        return nullptr;
    return std::shared_ptr<const MappedFile>(
        new MappedFile(data, static_cast<size_t>(info.st_size)));
}

MappedFile::~MappedFile() {
    ::munmap(m_data, m_size);
}
