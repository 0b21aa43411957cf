#include "base/MappedFile.h"

#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

std::shared_ptr<const MappedFile> MappedFile::open(const std::string &path) {
    // Neither through a link nor waiting on a FIFO: only a regular file is mapped.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    auto mapped = map(fd);
    ::close(fd);
    return mapped;
}

std::shared_ptr<const MappedFile> MappedFile::map(int fd) {
    struct stat info {};
    void *data = MAP_FAILED;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        data = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED)
        return nullptr;
    return std::shared_ptr<const MappedFile>(
        new MappedFile(data, static_cast<size_t>(info.st_size)));
}

MappedFile::~MappedFile() {
    ::munmap(m_data, m_size);
}

void MappedFile::release(const char *from, const char *to) const {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
    const auto end = reinterpret_cast<std::uintptr_t>(to) / page * page;
    // Only whole pages of this mapping; a private mapping that was never written reads its
    // pages again from the file.
    if (start < end && reinterpret_cast<std::uintptr_t>(m_data) <= start &&
        end <= reinterpret_cast<std::uintptr_t>(m_data) + m_size)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_DONTNEED);
}
