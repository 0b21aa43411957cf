#include "providers/kilo/KiloProvider.h"

#include "providers/kilo/KiloLog.h"

#include <dirent.h>

#include <algorithm>

namespace {

constexpr std::string_view variables[] = {"KILO_DB", "KILO_DATA_DIR"};

bool isChannelDatabase(std::string_view name) {
    for (const std::string_view prefix : {"kilo-", "opencode-"})
        if (name.starts_with(prefix) && name.ends_with(".db") && name.size() > prefix.size() + 3)
            return true;
    return false;
}

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    const std::string data = kiloDataFolder(environment);
    if (const auto configured = environment.get("KILO_DB")) {
        logs.databases.push_back(configured->starts_with('/') ? *configured
                                                              : data + "/" + *configured);
        return logs;
    }
    logs.lookedIn.push_back(data + "/kilo.db");
    // Listing the folder is also what tells whether Kilo is installed at all.
    DIR *folder = ::opendir(data.c_str());
    if (!folder)
        return logs;
    while (const dirent *entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name == "kilo.db" || isChannelDatabase(name))
            logs.databases.push_back(data + "/" + std::string(name));
    }
    ::closedir(folder);
    std::sort(logs.databases.begin(), logs.databases.end());
    return logs;
}

} // namespace

std::string kiloDataFolder(const Environment &environment) {
    std::string data;
    if (const auto configured = environment.get("KILO_DATA_DIR"))
        data = *configured;
    else if (const auto xdg = environment.get("XDG_DATA_HOME"))
        data = *xdg + "/kilo";
    else
        data = environment.home() + "/.local/share/kilo";
    while (data.size() > 1 && data.back() == '/')
        data.pop_back();
    return data;
}

const ProviderDefinition &kiloProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::kilo,
        .id = "kilo",
        .displayName = "Kilo CLI",
        .environment = variables,
        .locate = locate,
        .readDatabase = kilo::readDatabase,
    };
    return definition;
}
