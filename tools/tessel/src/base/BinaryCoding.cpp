#include "base/BinaryCoding.h"

std::uint64_t binaryChecksum(const char *data, size_t size) {
    std::uint64_t hash = 14695981039346656037ull;
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, 8);
        hash = (hash ^ word) * 1099511628211ull;
        hash ^= hash >> 29;
    }
    for (; at < size; ++at)
        hash = (hash ^ static_cast<unsigned char>(data[at])) * 1099511628211ull;
    return hash;
}

bool checksumMatches(std::string_view bytes) {
    constexpr size_t trailer = sizeof(std::uint64_t);
    if (bytes.size() < trailer)
        return false;
    const size_t body = bytes.size() - trailer;
    std::uint64_t stored;
    std::memcpy(&stored, bytes.data() + body, trailer);
    return stored == binaryChecksum(bytes.data(), body);
}
