#include "base/BinaryCoding.h"

#include "base/AtomicFile.h"

#include <algorithm>

std::uint64_t binaryChecksum(const char *data, size_t size) {
    return binaryChecksumOn(14695981039346656037ull, data, size);
}

std::uint64_t binaryChecksumOn(std::uint64_t hash, const char *data, size_t size) {
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

bool checksumMatches(std::string_view bytes,
                     const std::function<void(const char *from, const char *to)> &done) {
    constexpr size_t trailer = sizeof(std::uint64_t);
    if (bytes.size() < trailer)
        return false;
    const size_t body = bytes.size() - trailer;
    // A multiple of 8, as binaryChecksumOn() needs of every piece but the last.
    const size_t piece = done ? size_t{4} << 20 : std::max<size_t>(body, 1);
    std::uint64_t hash = binaryChecksum(nullptr, 0);
    for (size_t at = 0; at < body; at += piece) {
        const size_t size = std::min(piece, body - at);
        hash = binaryChecksumOn(hash, bytes.data() + at, size);
        if (done)
            done(bytes.data() + at, bytes.data() + at + size);
    }
    std::uint64_t stored;
    std::memcpy(&stored, bytes.data() + body, trailer);
    return stored == hash;
}

void BinaryWriter::spill() {
    m_file->append(m_bytes.data(), m_bytes.size());
    m_spilled += m_bytes.size();
    m_bytes.clear();
}

void BinaryWriter::overwrite(std::uint64_t at, const void *data, size_t size) {
    const char *from = static_cast<const char *>(data);
    if (at < m_spilled) {
        const size_t inFile = static_cast<size_t>(std::min<std::uint64_t>(size, m_spilled - at));
        m_file->overwrite(at, from, inFile);
        from += inFile;
        size -= inFile;
        at += inFile;
    }
    if (size > 0)
        std::memcpy(m_bytes.data() + (at - m_spilled), from, size);
}

void BinaryWriter::putChecksum() {
    if (!m_file) {
        put(binaryChecksum(m_bytes.data(), m_bytes.size()));
        return;
    }
    spill();
    // The bytes are read back from the file rather than hashed on the way out, since some were
    // overwritten after they went.
    std::uint64_t hash = binaryChecksum(nullptr, 0);
    std::string piece(spillSize, '\0');
    for (std::uint64_t at = 0; at < m_spilled; at += piece.size()) {
        const size_t size =
            static_cast<size_t>(std::min<std::uint64_t>(piece.size(), m_spilled - at));
        m_file->readBack(at, piece.data(), size);
        hash = binaryChecksumOn(hash, piece.data(), size);
    }
    put(hash);
    spill();
}
