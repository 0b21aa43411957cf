#include "CollectorState.h"

#include "MappedFile.h"

#include <cstring>
#include <type_traits>

namespace {

constexpr char magic[8] = {'T', 'E', 'S', 'S', 'E', 'L', 'S', 'T'};
constexpr std::uint32_t formatVersion = 2;

// FNV-1a over 8-byte words (then the tail): fast enough to check a state file of millions of
// messages in a few milliseconds, and catches truncation and stray writes.
std::uint64_t checksum(const char *data, size_t size) {
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

using StoredEntry = MessageIndex::Stored;
static_assert(sizeof(StoredEntry) == 29);

class Writer {
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
    void putString(const std::string &text) {
        put(static_cast<std::uint32_t>(text.size()));
        m_bytes += text;
    }
    std::string &bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

struct Truncated {};

class Reader {
public:
    Reader(const char *data, size_t size) : m_data(data), m_size(size) {}
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
    std::string getString() {
        const auto size = get<std::uint32_t>();
        need(size);
        std::string text(m_data + m_at, size);
        m_at += size;
        return text;
    }
    // A count of records of at least `recordSize` bytes each that the rest can hold.
    std::uint64_t getCount(size_t recordSize) {
        const auto count = get<std::uint64_t>();
        if (count > (m_size - m_at) / recordSize)
            throw Truncated();
        return count;
    }
    bool atEnd() const { return m_at == m_size; }

private:
    void need(size_t size) const {
        if (m_size - m_at < size)
            throw Truncated();
    }
    const char *m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace

std::uint64_t stateChecksum(std::string_view bytes) {
    return checksum(bytes.data(), bytes.size());
}

std::string serializeState(const CollectorState &state) {
    Writer out;
    for (const char c : magic)
        out.put(c);
    out.put(formatVersion);
    out.put(static_cast<std::uint64_t>(state.totals.size()));
    for (const auto &[day, tokens] : state.totals) {
        out.put(day);
        for (const std::int64_t value : tokens)
            out.put(value);
    }
    out.put(static_cast<std::uint64_t>(state.files.size()));
    for (const auto &[key, file] : state.files) {
        out.putString(key);
        out.put(file.size);
        out.put(file.mtimeNs);
        out.put(file.inode);
        out.put(file.offset);
        out.put(file.session.lastTotal);
        out.put(static_cast<std::uint8_t>((file.session.seenUsage ? 1 : 0) |
                                          (file.session.forked ? 2 : 0)));
    }
    const std::vector<MessageIndex::Entry> entries = state.index.sortedEntries();
    std::vector<StoredEntry> stored(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        stored[i] = {entries[i].key, entries[i].tokens, entries[i].rank, entries[i].day,
                     static_cast<std::uint8_t>(entries[i].provider)};
    out.put(static_cast<std::uint64_t>(stored.size()));
    out.putBytes(stored.data(), stored.size() * sizeof(StoredEntry));
    out.put(checksum(out.bytes().data(), out.bytes().size()));
    return std::move(out.bytes());
}

std::optional<CollectorState> deserializeState(std::string_view bytes,
                                               std::shared_ptr<const void> owner) {
    constexpr size_t trailer = sizeof(std::uint64_t);
    if (bytes.size() < sizeof magic + sizeof formatVersion + trailer ||
        std::memcmp(bytes.data(), magic, sizeof magic) != 0)
        return std::nullopt;
    const size_t body = bytes.size() - trailer;
    std::uint64_t stored;
    std::memcpy(&stored, bytes.data() + body, trailer);
    if (stored != checksum(bytes.data(), body))
        return std::nullopt;
    try {
        Reader in(bytes.data() + sizeof magic, body - sizeof magic);
        if (in.get<std::uint32_t>() != formatVersion)
            return std::nullopt;
        CollectorState state;
        for (auto count = in.getCount(28); count > 0; --count) {
            const auto day = in.get<DayNumber>();
            if (!isCountedDay(day))
                return std::nullopt;
            auto &tokens = state.totals[day];
            for (std::int64_t &value : tokens)
                value = in.get<std::int64_t>();
        }
        for (auto count = in.getCount(45); count > 0; --count) {
            std::string key = in.getString();
            FileState file;
            file.size = in.get<std::uint64_t>();
            file.mtimeNs = in.get<std::int64_t>();
            file.inode = in.get<std::uint64_t>();
            file.offset = in.get<std::uint64_t>();
            file.session.lastTotal = in.get<std::int64_t>();
            if (file.session.lastTotal < 0) // a running total never is
                return std::nullopt;
            const auto flags = in.get<std::uint8_t>();
            file.session.seenUsage = flags & 1;
            file.session.forked = flags & 2;
            state.files.emplace(std::move(key), file);
        }
        const auto count = in.getCount(sizeof(StoredEntry));
        const char *entries = in.take(count * sizeof(StoredEntry));
        if (!in.atEnd() || !MessageIndex::validStored(entries, count))
            return std::nullopt;
        state.index.assignStored(entries, count, std::move(owner));
        return state;
    } catch (const Truncated &) {
        return std::nullopt;
    }
}

std::optional<CollectorState> loadState(const std::string &path) {
    const auto file = MappedFile::open(path);
    if (!file)
        return std::nullopt; // missing or unreadable: the logs are read again
    return deserializeState(file->bytes(), file);
}
