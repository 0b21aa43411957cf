#pragma once

#include <memory>
#include <string>
#include <string_view>

// A whole file mapped read-only into memory. Reading the collector's state this way costs
// neither a copy nor zeroed memory, which keeps a collection with nothing new fast.
class MappedFile {
public:
    // nullptr when the file is missing, empty, a symbolic link, not a regular file or cannot be
    // mapped.
    static std::shared_ptr<const MappedFile> open(const std::string &path);
    // Maps the open regular file `fd` (which stays the caller's to close), or nullptr as above.
    static std::shared_ptr<const MappedFile> map(int fd);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::string_view bytes() const { return {static_cast<const char *>(m_data), m_size}; }
    // Lets the pages of [from, to) leave memory until they are read again: a state of tens of
    // MiB that is checked once from start to end then costs a few MiB of memory, not all of it.
    void release(const char *from, const char *to) const;

private:
    MappedFile(void *data, size_t size) : m_data(data), m_size(size) {}

    void *m_data;
    size_t m_size;
};
