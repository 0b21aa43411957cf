#pragma once

#include "collect/LogReader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

// Hands a fuzz input to LogReader as a log file, the way collect reads one: an in-memory file
// opened through its /proc path, read from `offset` with `session` as the progress so far and
// `tailHash` as what the bytes before `offset` hashed to.
inline ReadResult readAsLog(const ProviderDefinition &provider, const std::uint8_t *data,
                            size_t size, std::uint64_t offset = 0, const LogSession &session = {},
                            std::uint64_t tailHash = 0) {
    static const int fd = ::memfd_create("fuzz-log", MFD_CLOEXEC);
    static LogReader reader;
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    LogFile file{&provider, LogStorage::lines, 1, "/proc/self/fd/" + std::to_string(fd), {}};
    file.current.size = size;
    return reader.read(ReadJob{&file, offset, session, tailHash, 1});
}

// What any read must hold, whatever the file: it stops inside the file, counts no negative
// tokens and gives only days LocalDays can give; reading on from where it stopped counts
// nothing more, so a later collect never counts a line twice.
inline void checkRead(const ProviderDefinition &provider, const std::uint8_t *data, size_t size,
                      const ReadResult &result) {
    if (result.state.offset > size)
        std::abort();
    for (const UsageRecord &record : result.records)
        if (record.tokens < 0 || record.day < firstCountedDay - 1 ||
            record.day > lastCountedDay + 1 || record.split.sum() != record.tokens ||
            (record.model != 0 && !result.names.find(record.model)) ||
            (record.project != 0 && !result.names.find(record.project)))
            std::abort();
    const ReadResult again = readAsLog(provider, data, size, result.state.offset,
                                       result.state.session, result.state.tailHash);
    if (again.restarted || !again.records.empty() || again.state.offset != result.state.offset)
        std::abort();
}
