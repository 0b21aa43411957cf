#include "providers/codex/CodexProvider.h"

#include "providers/FolderList.h"
#include "providers/codex/CodexLog.h"

namespace {

constexpr std::string_view variables[] = {"CODEX_HOME"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    for (std::string &folder : codexSessionFolders(environment))
        logs.folders.push_back({std::move(folder), LogStorage::lines, ".jsonl"});
    return logs;
}

} // namespace

std::vector<std::string> codexSessionFolders(const Environment &environment) {
    const std::string home = environment.get("CODEX_HOME").value_or(environment.home() + "/.codex");
    std::vector<std::string> folders;
    addFolder(folders, home + "/sessions");
    addFolder(folders, home + "/archived_sessions");
    return folders;
}

const ProviderDefinition &codexProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::codex,
        .id = "codex",
        .displayName = "Codex",
        .environment = variables,
        .locate = locate,
        .mayMatter = codex::mayMatter,
        .parseLine = codex::parseLine,
    };
    return definition;
}
