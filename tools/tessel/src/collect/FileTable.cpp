#include "collect/FileTable.h"

#include <algorithm>
#include <stdexcept>

const FileTable::Stored *FileTable::findSorted(std::uint64_t key) const {
    const auto at =
        std::lower_bound(m_sorted.begin(), m_sorted.end(), key,
                         [](const Stored &entry, std::uint64_t k) { return entry.key < k; });
    if (at == m_sorted.end() || at->key != key || (!m_erased.empty() && m_erased.contains(key)))
        return nullptr;
    return &*at;
}

FileTable::Stored *FileTable::findSorted(std::uint64_t key) {
    return const_cast<Stored *>(std::as_const(*this).findSorted(key));
}

FileState FileTable::stateOf(const Stored &entry) const {
    FileState state;
    state.size = entry.size;
    state.mtimeNs = entry.mtimeNs;
    state.inode = entry.inode;
    state.offset = entry.offset;
    state.tailHash = entry.tailHash;
    state.id = entry.id;
    state.session = m_sessions[entry.session];
    return state;
}

void FileTable::store(Stored &entry, const FileState &state) {
    entry.size = state.size;
    entry.mtimeNs = state.mtimeNs;
    entry.inode = state.inode;
    entry.offset = state.offset;
    entry.tailHash = state.tailHash;
    entry.id = state.id;
    if (state.session == LogSession{}) {
        entry.session = 0;
        return;
    }
    // A file keeps its place among the sessions once it has one.
    if (entry.session == 0) {
        if (m_sessions.size() > UINT32_MAX - 1)
            throw std::length_error("too many sessions in the file table");
        entry.session = static_cast<std::uint32_t>(m_sessions.size());
        m_sessions.emplace_back();
    }
    m_sessions[entry.session] = state.session;
}

std::optional<FileState> FileTable::find(std::uint64_t key) const {
    if (const Stored *entry = findSorted(key))
        return stateOf(*entry);
    const auto added = m_added.find(key);
    if (added == m_added.end())
        return std::nullopt;
    return added->second;
}

bool FileTable::contains(std::uint64_t key) const {
    return findSorted(key) || m_added.contains(key);
}

void FileTable::set(std::uint64_t key, const FileState &state) {
    // Past the last key: no search needed.
    if ((m_sorted.empty() || m_sorted.back().key < key) && !m_added.contains(key)) {
        store(m_sorted.emplace_back(Stored{key, 0, 0, 0, 0, 0, 0, 0}), state);
    } else if (Stored *entry = findSorted(key)) {
        store(*entry, state);
    } else if (const auto added = m_added.find(key); added != m_added.end()) {
        added->second = state;
    } else {
        m_added.emplace(key, state);
    }
}

void FileTable::erase(std::uint64_t key) {
    if (findSorted(key))
        m_erased.insert(key);
    else
        m_added.erase(key);
}

void FileTable::rename(std::uint64_t from, std::uint64_t to) {
    const auto state = find(from);
    if (!state || from == to)
        return;
    erase(from);
    set(to, *state);
}

void FileTable::normalize() {
    if (m_erased.empty() && m_added.empty())
        return;
    if (!m_erased.empty()) {
        std::erase_if(m_sorted, [&](const Stored &entry) { return m_erased.contains(entry.key); });
        m_erased.clear();
    }
    const size_t before = m_sorted.size();
    // Grown to the size it needs, not to twice its size.
    if (m_sorted.capacity() < before + m_added.size())
        m_sorted.reserve(before + m_added.size());
    for (const auto &[key, state] : m_added)
        store(m_sorted.emplace_back(Stored{key, 0, 0, 0, 0, 0, 0, 0}), state);
    m_added.clear();
    std::inplace_merge(m_sorted.begin(), m_sorted.begin() + static_cast<std::ptrdiff_t>(before),
                       m_sorted.end(),
                       [](const Stored &a, const Stored &b) { return a.key < b.key; });
}
