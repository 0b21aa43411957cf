#pragma once

#include "base/Errors.h"
#include "providers/ProviderDefinition.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

// Hands a fuzz input to a tool's database reader as a database file, and checks what any read
// must hold. A file that is no database, or one SQLite refuses, is a ToolError, never a crash.
inline void checkDatabase(const ProviderDefinition &provider, const std::uint8_t *data,
                          size_t size) {
    // SQLite opens a database by its path and follows links, so it gets a real file, in a
    // folder of its own that is removed when the run ends.
    static const struct Scratch {
        std::string folder, path;
        Scratch() {
            char name[] = "/tmp/tessel-fuzz-XXXXXX";
            if (!::mkdtemp(name))
                std::abort();
            folder = name;
            path = folder + "/store.db";
        }
        ~Scratch() {
            ::unlink(path.c_str());
            ::rmdir(folder.c_str());
        }
    } scratch;
    const int fd = ::open(scratch.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size) || ::close(fd) != 0)
        std::abort();
    const std::string &path = scratch.path;
    LocalDays days;
    try {
        const DatabaseRead read = provider.readDatabase(path, days);
        for (const UsageRecord &record : read.records)
            if (record.tokens < 0 || record.key == 0 || record.split.sum() != record.tokens ||
                record.provider != provider.provider ||
                (record.model != 0 && !read.names.find(record.model)) ||
                (record.project != 0 && !read.names.find(record.project)))
                std::abort();
    } catch (const ToolError &) {
    }
}
