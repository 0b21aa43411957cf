#include "providers/claude/ClaudeProvider.h"

#include "providers/FolderList.h"
#include "providers/claude/ClaudeLog.h"

namespace {

constexpr std::string_view variables[] = {"CLAUDE_CONFIG_DIR"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    for (std::string &folder : claudeProjectFolders(environment))
        logs.folders.push_back({std::move(folder), LogStorage::lines, ".jsonl"});
    return logs;
}

} // namespace

std::optional<std::vector<std::string>> configuredClaudeFolders(const Environment &environment) {
    const auto configured = environment.get("CLAUDE_CONFIG_DIR");
    if (!configured)
        return std::nullopt;
    return splitFolderList(*configured, ',');
}

std::vector<std::string> claudeProjectFolders(const Environment &environment) {
    std::vector<std::string> folders;
    if (const auto configured = configuredClaudeFolders(environment)) {
        for (const std::string &folder : *configured) {
            // Some set it to the projects folder itself.
            if (folder == "projects" || folder.ends_with("/projects"))
                addFolder(folders, folder);
            else
                addFolder(folders, folder + "/projects");
        }
        return folders;
    }
    const std::string home = environment.home();
    if (const auto xdg = environment.get("XDG_CONFIG_HOME"))
        addFolder(folders, *xdg + "/claude/projects");
    addFolder(folders, home + "/.config/claude/projects");
    addFolder(folders, home + "/.claude/projects");
    return folders;
}

const ProviderDefinition &claudeProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::claude,
        .id = "claude",
        .displayName = "Claude Code",
        .environment = variables,
        .locate = locate,
        .needle = claude::usageNeedle,
        .parseLine = claude::parseLine,
    };
    return definition;
}
