#pragma once

#include <cstddef>
#include <cstdint>

// Reads exactly `size` bytes at offset `at` of `fd`, going on after a signal or a short read.
// False when the file ends first (errno is then 0) or reading fails (errno tells why).
bool readAt(int fd, std::uint64_t at, char *into, std::size_t size);
