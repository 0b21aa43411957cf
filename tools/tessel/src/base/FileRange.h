#pragma once

#include <cstddef>
#include <cstdint>

// Reading and writing a stretch of an open file at an offset, going on after a signal or a
// short transfer.

// Reads exactly `size` bytes at `at`. False when the file ends first (errno is then 0) or
// reading fails (errno tells why).
bool readAt(int fd, std::uint64_t at, char *into, std::size_t size);

// Writes all `size` bytes at `at`. False when writing fails (errno tells why).
bool writeAt(int fd, std::uint64_t at, const char *from, std::size_t size);
