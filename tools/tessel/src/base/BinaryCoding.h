#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

// The pieces of the tool's own binary files (the collector's state, the breakdown): values
// written as their bytes (little-endian on every machine the tool runs on), counts before the
// records they count, and a checksum over everything at the end.

// FNV-1a over 8-byte words (then the tail): fast enough to check a file of millions of
// records in a few milliseconds, and catches truncation and stray writes.
std::uint64_t binaryChecksum(const char *data, size_t size);
// The checksum of pieces one after another: `hash` is what the pieces before gave (each a
// multiple of 8 bytes long), or binaryChecksum(nullptr, 0) for the first.
std::uint64_t binaryChecksumOn(std::uint64_t hash, const char *data, size_t size);

class AtomicFileWriter;

// Writes into memory, or, given a file, into memory that goes to the file each MiB, so that
// a file of any size is written with little memory.
class BinaryWriter {
public:
    BinaryWriter() = default;
    explicit BinaryWriter(AtomicFileWriter &file) : m_file(&file) {}

    template <typename T> void put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        const size_t at = m_bytes.size();
        m_bytes.resize(at + sizeof value);
        std::memcpy(m_bytes.data() + at, &value, sizeof value);
        spillIfFull();
    }
    void putBytes(const void *data, size_t size) {
        m_bytes.append(static_cast<const char *>(data), size);
        spillIfFull();
    }
    // A text as its length (32 bits) and bytes.
    void putText(std::string_view text) {
        put(static_cast<std::uint32_t>(text.size()));
        putBytes(text.data(), text.size());
    }
    // How many bytes were written so far.
    std::uint64_t position() const { return m_spilled + m_bytes.size(); }
    // Writes over bytes written before, at `at`.
    void overwrite(std::uint64_t at, const void *data, size_t size);
    // Appends the checksum of everything written so far, and sends what is left to the file.
    void putChecksum();
    // What was written, when not into a file.
    std::string &bytes() { return m_bytes; }

private:
    static constexpr size_t spillSize = size_t{1} << 20;
    void spillIfFull() {
        if (m_file && m_bytes.size() >= spillSize)
            spill();
    }
    void spill();

    std::string m_bytes;
    AtomicFileWriter *m_file = nullptr;
    std::uint64_t m_spilled = 0;
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
    const char *at() const { return m_data + m_at; }

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
// With `done`, hashes a few MiB at a time and tells `done` of each stretch once hashed.
bool checksumMatches(std::string_view bytes,
                     const std::function<void(const char *from, const char *to)> &done = {});
