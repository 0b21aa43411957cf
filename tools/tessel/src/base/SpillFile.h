#pragma once

#include "base/MappedFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An unnamed file beside another, written once from start to end and then mapped for reading:
// where data too large to keep in memory waits. It has no name, so it is gone with the
// process however that ends, and never left behind beside the user's files.
class SpillFile {
public:
    // A file in the folder of `beside`. Where the file system makes no unnamed files, it is
    // `beside` + ".spill-" and six characters, removed at once. Throws FileError.
    explicit SpillFile(const std::string &beside);
    ~SpillFile();
    SpillFile(const SpillFile &) = delete;
    SpillFile &operator=(const SpillFile &) = delete;

    void append(const void *data, std::size_t size);
    std::uint64_t size() const { return m_written + m_buffer.size(); }
    // What was written, mapped (nullptr when nothing was); nothing more can be appended.
    std::shared_ptr<const MappedFile> map();
    // Reads `size` bytes at `at` of what was mapped, without touching the mapping: a few
    // scattered reads leave no pages of it in memory. Throws FileError.
    void read(std::uint64_t at, char *into, std::size_t size) const;

private:
    void flush();

    std::string m_beside;
    int m_fd = -1;
    std::uint64_t m_written = 0;
    std::vector<char> m_buffer;
};
