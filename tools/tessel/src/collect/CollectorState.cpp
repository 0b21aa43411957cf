#include "collect/CollectorState.h"

#include "base/BinaryCoding.h"
#include "base/MappedFile.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

constexpr char magic[8] = {'T', 'E', 'S', 'S', 'E', 'L', 'S', 'T'};
constexpr std::uint32_t formatVersion = 4;

using StoredEntry = MessageIndex::Stored;
static_assert(sizeof(StoredEntry) == 33);

} // namespace

std::uint64_t fileKey(std::string_view prefix, std::string_view name) {
    return messageKey(Provider::claude, prefix, name);
}

std::uint64_t stateChecksum(std::string_view bytes) {
    return binaryChecksum(bytes.data(), bytes.size());
}

std::string serializeState(CollectorState &state) {
    BinaryWriter out;
    for (const char c : magic)
        out.put(c);
    out.put(formatVersion);
    out.put(countingRules);
    out.put(state.nextFileId);
    // A day holds the figures of the providers it covers only, so a new provider changes
    // nothing of the format.
    out.put(static_cast<std::uint64_t>(state.totals.size()));
    for (const auto &[day, count] : state.totals) {
        out.put(day);
        out.put(count.covered);
        for (size_t provider = 0; provider < providerCount; ++provider)
            if (count.covers(provider))
                out.put(count.tokens[provider]);
    }
    out.put(static_cast<std::uint64_t>(state.files.size()));
    for (const auto &[key, file] : state.files) {
        out.put(key);
        out.put(file.size);
        out.put(file.mtimeNs);
        out.put(file.inode);
        out.put(file.offset);
        out.put(file.tailHash);
        out.put(file.id);
        out.put(file.session.numbers[0]);
        out.put(file.session.numbers[1]);
        out.put(file.session.model);
        out.put(file.session.project);
        out.put(file.session.flags);
        out.put(static_cast<std::uint8_t>(file.keptWhenGone ? 1 : 0));
    }
    // Sorted, so the same state always gives the same bytes.
    std::vector<std::pair<NameId, const std::string *>> names;
    for (const auto &[id, text] : state.names.entries())
        names.emplace_back(id, &text);
    std::sort(names.begin(), names.end());
    out.put(static_cast<std::uint64_t>(names.size()));
    for (const auto &[id, text] : names) {
        out.put(id);
        out.put(static_cast<std::uint32_t>(text->size()));
        out.putBytes(text->data(), text->size());
    }
    // The count goes before the entries; it is known once they are written.
    const size_t countAt = out.bytes().size();
    out.bytes().reserve(countAt + 16 + state.index.sizeHint() * sizeof(StoredEntry));
    out.put(std::uint64_t{0});
    std::uint64_t count = 0;
    state.index.forEachSorted([&](const StoredEntry &entry) {
        out.putBytes(&entry, sizeof entry);
        ++count;
    });
    std::memcpy(out.bytes().data() + countAt, &count, sizeof count);
    out.putChecksum();
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
    if (stored != binaryChecksum(bytes.data(), body))
        return std::nullopt;
    try {
        BinaryReader in(bytes.data() + sizeof magic, body - sizeof magic);
        if (in.get<std::uint32_t>() != formatVersion || in.get<std::uint32_t>() != countingRules)
            return std::nullopt;
        CollectorState state;
        state.nextFileId = in.get<std::uint32_t>();
        for (auto count = in.getCount(8); count > 0; --count) {
            const auto dayNumber = in.get<DayNumber>();
            if (!isCountedDay(dayNumber))
                return std::nullopt;
            DayCount &day = state.totals[dayNumber];
            day.covered = in.get<std::uint32_t>();
            if (day.covered >> providerCount != 0)
                return std::nullopt;
            for (size_t provider = 0; provider < providerCount; ++provider)
                if (day.covers(provider))
                    day.tokens[provider] = in.get<std::int64_t>();
        }
        for (auto count = in.getCount(86); count > 0; --count) {
            const auto key = in.get<std::uint64_t>();
            FileState file;
            file.size = in.get<std::uint64_t>();
            file.mtimeNs = in.get<std::int64_t>();
            file.inode = in.get<std::uint64_t>();
            file.offset = in.get<std::uint64_t>();
            file.tailHash = in.get<std::uint64_t>();
            file.id = in.get<std::uint32_t>();
            file.session.numbers[0] = in.get<std::int64_t>();
            file.session.numbers[1] = in.get<std::int64_t>();
            file.session.model = in.get<NameId>();
            file.session.project = in.get<NameId>();
            file.session.flags = in.get<std::uint8_t>();
            file.keptWhenGone = in.get<std::uint8_t>() & 1;
            if (file.id >= state.nextFileId)
                return std::nullopt;
            state.files.emplace(key, file);
        }
        for (auto count = in.getCount(12); count > 0; --count) {
            const auto id = in.get<NameId>();
            const auto size = in.get<std::uint32_t>();
            const char *text = in.take(size);
            state.names.insert(id, std::string(text, size));
        }
        const auto count = in.getCount(sizeof(StoredEntry));
        const char *entries = in.take(count * sizeof(StoredEntry));
        if (!in.atEnd() || !MessageIndex::validStored(entries, count))
            return std::nullopt;
        state.index.assignStored(entries, count, std::move(owner));
        return state;
    } catch (const BinaryTruncated &) {
        return std::nullopt;
    }
}

std::optional<CollectorState> loadState(const std::string &path) {
    const auto file = MappedFile::open(path);
    if (!file)
        return std::nullopt; // missing or unreadable: the logs are read again
    return deserializeState(file->bytes(), file);
}
