#pragma once

#include "providers/ProviderDefinition.h"

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_set>
#include <vector>

// What one log file looked like when it was last read, and how far it was read.
struct FileState {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    std::uint64_t offset = 0;
    // A hash of the last bytes read (up to `offset`): when they changed, the file was
    // replaced, and is read again from its start rather than from `offset`.
    std::uint64_t tailHash = 0;
    // The file's number, which the message index keeps with what the file counted.
    std::uint32_t id = 0;
    // What the file's reader remembers of it (a Codex session's running total).
    LogSession session;

    // Same size, modification time and file: nothing to read.
    bool sameFileAs(const FileState &other) const {
        return size == other.size && mtimeNs == other.mtimeNs && inode == other.inode;
    }
    friend bool operator==(const FileState &, const FileState &) = default;
};

// The collector's file table, by key: one sorted array rather than a tree, at less than half
// the memory a file, with the running state only Codex sessions have kept aside. Entries that
// arrive in key order (a state loaded, a first collect) go at its end; the few that do not
// wait in a small tree until the table is next walked in order.
class FileTable {
public:
    void reserve(std::size_t count) { m_sorted.reserve(count); }
    std::size_t size() const { return m_sorted.size() - m_erased.size() + m_added.size(); }

    std::optional<FileState> find(std::uint64_t key) const;
    bool contains(std::uint64_t key) const;
    void set(std::uint64_t key, const FileState &state);
    void erase(std::uint64_t key);
    // Gives the entry of `from` to `to`.
    void rename(std::uint64_t from, std::uint64_t to);
    // Removes, in one pass in key order, every entry `remove` answers true for; answers how
    // many went.
    template <typename Remove> std::size_t eraseIf(Remove remove) {
        normalize();
        return std::erase_if(m_sorted, [&](const Stored &entry) { return remove(entry.key); });
    }
    // Every entry in key order.
    template <typename Visit> void forEach(Visit visit) {
        normalize();
        for (const Stored &entry : m_sorted)
            visit(entry.key, stateOf(entry));
    }

private:
    struct Stored {
        std::uint64_t key;
        std::uint64_t size;
        std::int64_t mtimeNs;
        std::uint64_t inode;
        std::uint64_t offset;
        std::uint64_t tailHash;
        std::uint32_t id;
        // Where in m_sessions its session is; 0 for the empty one.
        std::uint32_t session;
    };

    FileState stateOf(const Stored &entry) const;
    void store(Stored &entry, const FileState &state);
    // Puts waiting entries in their places and drops erased ones.
    void normalize();
    Stored *findSorted(std::uint64_t key);
    const Stored *findSorted(std::uint64_t key) const;

    std::vector<Stored> m_sorted;
    std::vector<LogSession> m_sessions{LogSession{}};
    // Keys of m_sorted taken out since it was last normalized.
    std::unordered_set<std::uint64_t> m_erased;
    std::map<std::uint64_t, FileState> m_added;
};
