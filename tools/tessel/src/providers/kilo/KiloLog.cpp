#include "providers/kilo/KiloLog.h"

#include "base/Errors.h"
#include "providers/opencode/OpenCodeLog.h"

namespace kilo {

namespace {

// OpenCode's reader names OpenCode in what it reports; these are Kilo's databases.
std::string renamed(std::string text) {
    constexpr std::string_view theirs = "OpenCode database";
    if (const size_t at = text.find(theirs); at != std::string::npos)
        text.replace(at, theirs.size(), "Kilo database");
    return text;
}

// An identity of Kilo's own, so that a message id both tools happen to share never moves
// usage from one tool to the other.
std::uint64_t rekeyed(std::uint64_t key) {
    if (key == 0)
        return 0;
    return messageKey(Provider::kilo,
                      std::string_view(reinterpret_cast<const char *>(&key), sizeof key));
}

} // namespace

DatabaseRead readDatabase(const std::string &path, LocalDays &days) {
    DatabaseRead read;
    try {
        read = opencode::readDatabase(path, days);
    } catch (const ToolError &error) {
        throw ToolError(renamed(error.what()));
    }
    for (UsageRecord &record : read.records) {
        record.provider = Provider::kilo;
        record.key = rekeyed(record.key);
        record.content = rekeyed(record.content);
    }
    read.problem = renamed(std::move(read.problem));
    return read;
}

} // namespace kilo
