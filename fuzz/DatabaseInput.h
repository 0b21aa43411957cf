#pragma once

#include "base/Errors.h"
#include "providers/ProviderDefinition.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Hands a fuzz input to a tool's database reader as a database file, and checks what any read
// must hold. A file that is no database, or one SQLite refuses, is a ToolError, never a crash.
inline void checkDatabase(const ProviderDefinition &provider, const std::uint8_t *data,
                          size_t size) {
    static const std::string path =
        "/tmp/tessel-fuzz-" + std::string(provider.id) + "-" + std::to_string(::getpid()) + ".db";
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
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
