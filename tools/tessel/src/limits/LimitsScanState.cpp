#include "limits/LimitsScanState.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <type_traits>

namespace {

constexpr char magic[8] = {'T', 'E', 'S', 'S', 'L', 'I', 'M', 'S'};
// Raised whenever what the readers take for a limit line changes, so that files scanned
// under older rules are scanned again.
constexpr std::uint32_t limitRulesVersion = 1;
constexpr std::uint64_t maxStateBytes = 64 << 20;
constexpr size_t maxPathSize = 4096;
constexpr size_t maxKeySize = 256;

std::uint64_t fnv(const char *data, size_t size) {
    std::uint64_t hash = 14695981039346656037ull;
    for (size_t at = 0; at < size; ++at)
        hash = (hash ^ static_cast<unsigned char>(data[at])) * 1099511628211ull;
    return hash;
}

class Writer {
public:
    template <typename T> void put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        m_bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    }
    void putText(std::string_view text) {
        put(static_cast<std::uint32_t>(text.size()));
        m_bytes.append(text);
    }
    std::string &bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

struct Truncated {};

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    template <typename T> T get() {
        T value;
        need(sizeof value);
        std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    std::string getText(size_t maxSize) {
        const auto size = get<std::uint32_t>();
        if (size > maxSize)
            throw Truncated{};
        need(size);
        std::string text(m_bytes.substr(m_at, size));
        m_at += size;
        return text;
    }
    // A count of items of at least `itemSize` bytes each, never more than could follow.
    std::uint32_t getCount(size_t itemSize) {
        const auto count = get<std::uint32_t>();
        if (count > (m_bytes.size() - m_at) / itemSize)
            throw Truncated{};
        return count;
    }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    void need(size_t size) const {
        if (m_bytes.size() - m_at < size)
            throw Truncated{};
    }
    std::string_view m_bytes;
    size_t m_at = 0;
};

constexpr size_t markBytes = 4 + 8 + 8 + 4;
constexpr size_t logBytes = 4 + 6 * 8 + 4;

} // namespace

std::uint64_t tailHashOf(std::string_view bytes) {
    return fnv(bytes.data(), bytes.size());
}

std::string encodeScanState(const LimitsScanState &state) {
    Writer out;
    out.bytes().append(magic, sizeof magic);
    out.put(limitRulesVersion);
    for (const auto &logs : state.logs) {
        out.put(static_cast<std::uint32_t>(logs.size()));
        for (const auto &[path, log] : logs) {
            out.putText(path);
            out.put(log.device);
            out.put(log.inode);
            out.put(log.size);
            out.put(log.mtimeNs);
            out.put(log.readUpTo);
            out.put(log.tailHash);
            out.put(static_cast<std::uint32_t>(log.marks.size()));
            for (const LimitLineMark &mark : log.marks) {
                out.putText(mark.key);
                out.put(mark.observedAt);
                out.put(mark.offset);
                out.put(mark.length);
            }
        }
    }
    out.put(fnv(out.bytes().data(), out.bytes().size()));
    return std::move(out.bytes());
}

std::optional<LimitsScanState> decodeScanState(std::string_view bytes) {
    constexpr size_t trailer = sizeof(std::uint64_t);
    if (bytes.size() < sizeof magic + sizeof limitRulesVersion + trailer ||
        std::memcmp(bytes.data(), magic, sizeof magic) != 0)
        return std::nullopt;
    const size_t body = bytes.size() - trailer;
    std::uint64_t stored;
    std::memcpy(&stored, bytes.data() + body, trailer);
    if (stored != fnv(bytes.data(), body))
        return std::nullopt;
    try {
        Reader in(bytes.substr(sizeof magic, body - sizeof magic));
        if (in.get<std::uint32_t>() != limitRulesVersion)
            return std::nullopt;
        LimitsScanState state;
        for (auto &logs : state.logs) {
            for (auto count = in.getCount(logBytes); count > 0; --count) {
                std::string path = in.getText(maxPathSize);
                ScannedLog log;
                log.device = in.get<std::uint64_t>();
                log.inode = in.get<std::uint64_t>();
                log.size = in.get<std::uint64_t>();
                log.mtimeNs = in.get<std::int64_t>();
                log.readUpTo = in.get<std::uint64_t>();
                log.tailHash = in.get<std::uint64_t>();
                if (path.empty() || log.readUpTo > log.size)
                    return std::nullopt;
                for (auto marks = in.getCount(markBytes); marks > 0; --marks) {
                    LimitLineMark mark;
                    mark.key = in.getText(maxKeySize);
                    mark.observedAt = in.get<std::int64_t>();
                    mark.offset = in.get<std::uint64_t>();
                    mark.length = in.get<std::uint32_t>();
                    if (mark.offset > log.size || mark.length > log.size - mark.offset)
                        return std::nullopt;
                    log.marks.push_back(std::move(mark));
                }
                if (!logs.emplace(std::move(path), std::move(log)).second)
                    return std::nullopt;
            }
        }
        if (!in.atEnd())
            return std::nullopt;
        return state;
    } catch (const Truncated &) {
        return std::nullopt;
    }
}

LimitsScanState readScanState(const std::string &path, std::vector<std::string> &warnings) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT)
        return {};
    try {
        if (const auto state = decodeScanState(readWholeFile(path, maxStateBytes)))
            return *state;
        warnings.push_back(path + ": damaged or from another version; the logs' limit lines are "
                                  "read again");
    } catch (const FileError &error) {
        warnings.push_back(std::string(error.what()) + "; the logs' limit lines are read again");
    }
    return {};
}

void writeScanState(const std::string &path, const LimitsScanState &state) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    writeFileAtomically(path, encodeScanState(state));
}
