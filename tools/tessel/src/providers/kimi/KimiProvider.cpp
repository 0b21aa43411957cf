#include "providers/kimi/KimiProvider.h"

#include "providers/FolderList.h"
#include "providers/kimi/KimiLog.h"

namespace {

constexpr std::string_view variables[] = {"KIMI_SHARE_DIR", "KIMI_DATA_DIR"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    const std::string sessions = kimiSessionsFolder(environment);
    logs.lookedIn.push_back(sessions);
    if (isFolder(sessions))
        logs.folders.push_back({sessions, LogStorage::lines, "wire.jsonl"});
    return logs;
}

} // namespace

std::string kimiSessionsFolder(const Environment &environment) {
    std::string share =
        environment.get("KIMI_SHARE_DIR")
            .value_or(environment.get("KIMI_DATA_DIR").value_or(environment.home() + "/.kimi"));
    while (share.size() > 1 && share.back() == '/')
        share.pop_back();
    return share + "/sessions";
}

const ProviderDefinition &kimiProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::kimi,
        .id = "kimi",
        .displayName = "Kimi CLI",
        .environment = variables,
        .locate = locate,
        .needle = kimi::usageNeedle,
        .parseLine = kimi::parseLine,
    };
    return definition;
}
