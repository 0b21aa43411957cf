#include "providers/opencode/OpenCodeProvider.h"

#include "providers/opencode/OpenCodeLog.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view variables[] = {"OPENCODE_DB", "OPENCODE_DATA_DIR"};

// The main database and every release channel's opencode-<channel>.db in the data folder
// (never their -wal and -shm files), the channels sorted.
std::vector<std::string> databases(const Environment &environment) {
    std::vector<std::string> found{openCodeDatabase(environment)};
    std::error_code error;
    for (fs::directory_iterator entry(openCodeDataFolder(environment), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with("opencode-") && name.ends_with(".db") && name.size() > 12)
            found.push_back(entry->path().string());
    }
    std::sort(found.begin() + 1, found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    logs.folders.push_back(
        {openCodeDataFolder(environment) + "/storage/message", LogStorage::document, ".json"});
    logs.databases = databases(environment);
    return logs;
}

} // namespace

std::string openCodeDataFolder(const Environment &environment) {
    if (const auto data = environment.get("OPENCODE_DATA_DIR"))
        return *data;
    if (const auto xdg = environment.get("XDG_DATA_HOME"))
        return *xdg + "/opencode";
    return environment.home() + "/.local/share/opencode";
}

std::string openCodeDatabase(const Environment &environment) {
    return environment.get("OPENCODE_DB")
        .value_or(openCodeDataFolder(environment) + "/opencode.db");
}

const ProviderDefinition &openCodeProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::opencode,
        .id = "opencode",
        .displayName = "OpenCode",
        .environment = variables,
        .locate = locate,
        .parseDocument = opencode::parseMessageFile,
        .readDatabase = opencode::readDatabase,
    };
    return definition;
}
