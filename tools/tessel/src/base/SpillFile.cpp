#include "base/SpillFile.h"

#include "base/Errors.h"
#include "base/FileRange.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr std::size_t bufferSize = 1 << 20;

} // namespace

SpillFile::SpillFile(const std::string &beside) : m_beside(beside) {
    const std::string folder = std::filesystem::path(beside).parent_path().string();
    m_fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        std::string name = beside + ".spill-XXXXXX";
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd < 0)
            throw FileError(name, systemReason(errno));
        ::unlink(name.c_str());
    }
    m_buffer.reserve(bufferSize);
}

SpillFile::~SpillFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void SpillFile::append(const void *data, std::size_t size) {
    if (m_buffer.size() + size > bufferSize)
        flush();
    const auto *bytes = static_cast<const char *>(data);
    m_buffer.insert(m_buffer.end(), bytes, bytes + size);
}

void SpillFile::flush() {
    if (!writeAt(m_fd, m_written, m_buffer.data(), m_buffer.size()))
        throw FileError(m_beside, systemReason(errno));
    m_written += m_buffer.size();
    m_buffer.clear();
}

std::shared_ptr<const MappedFile> SpillFile::map() {
    flush();
    m_buffer = {};
    return MappedFile::map(m_fd);
}

void SpillFile::read(std::uint64_t at, char *into, std::size_t size) const {
    if (!readAt(m_fd, at, into, size))
        throw FileError(m_beside, errno != 0 ? systemReason(errno) : "the index file is short");
}
