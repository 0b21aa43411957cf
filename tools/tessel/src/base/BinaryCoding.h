#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

// The pieces of the tool's own binary files (the collector's state, the breakdown): values
// written as their bytes (little-endian on every machine the tool runs on), counts before the
// records they count, and a checksum over everything at the end.

// FNV-1a over 8-byte words (then the tail): fast enough to check a file of millions of
// records in a few milliseconds, and catches truncation and stray writes.
std::uint64_t binaryChecksum(const char *data, size_t size);

class BinaryWriter {
public:
    template <typename T> void put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        const size_t at = m_bytes.size();
        m_bytes.resize(at + sizeof value);
        std::memcpy(m_bytes.data() + at, &value, sizeof value);
    }
    void putBytes(const void *data, size_t size) {
        m_bytes.append(static_cast<const char *>(data), size);
    }
    // A text as its length (32 bits) and bytes.
    void putText(std::string_view text) {
        put(static_cast<std::uint32_t>(text.size()));
        putBytes(text.data(), text.size());
    }
    // Appends the checksum of everything written so far.
    void putChecksum() { put(binaryChecksum(m_bytes.data(), m_bytes.size())); }
    std::string &bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

// Thrown by BinaryReader when a file ends before what it announces.
struct BinaryTruncated {};

class BinaryReader {
public:
    BinaryReader(const char *data, size_t size) : m_data(data), m_size(size) {}
    template <typename T> T get() {
        T value;
        need(sizeof value);
        std::memcpy(&value, m_data + m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    // The next `size` bytes, in place.
    const char *take(size_t size) {
        need(size);
        const char *at = m_data + m_at;
        m_at += size;
        return at;
    }
    std::string getText() {
        const auto size = get<std::uint32_t>();
        return std::string(take(size), size);
    }
    // A count of records of at least `recordSize` bytes each that the rest can hold.
    std::uint64_t getCount(size_t recordSize) {
        const auto count = get<std::uint64_t>();
        if (count > (m_size - m_at) / recordSize)
            throw BinaryTruncated();
        return count;
    }
    bool atEnd() const { return m_at == m_size; }

private:
    void need(size_t size) const {
        if (m_size - m_at < size)
            throw BinaryTruncated();
    }
    const char *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// True when `bytes` ends in binaryChecksum() of everything before it.
bool checksumMatches(std::string_view bytes);
