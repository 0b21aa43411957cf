#include "providers/LogLocations.h"

#include <algorithm>

namespace {

void addUnique(std::vector<std::string> &folders, std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(std::move(folder));
}

} // namespace

std::optional<std::vector<std::string>> configuredClaudeFolders(const Environment &environment) {
    const auto configured = environment.get("CLAUDE_CONFIG_DIR");
    if (!configured)
        return std::nullopt;
    std::vector<std::string> folders;
    size_t start = 0;
    while (start <= configured->size()) {
        size_t comma = configured->find(',', start);
        if (comma == std::string::npos)
            comma = configured->size();
        std::string folder = configured->substr(start, comma - start);
        folder.erase(0, folder.find_first_not_of(" \t"));
        folder.erase(folder.find_last_not_of(" \t") + 1);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (!folder.empty())
            folders.push_back(std::move(folder));
        start = comma + 1;
    }
    return folders;
}

LogLocations LogLocations::fromEnvironment(const Environment &environment) {
    LogLocations locations;
    const std::string home = environment.home();

    if (const auto configured = configuredClaudeFolders(environment)) {
        for (const std::string &folder : *configured) {
            // Some set it to the projects folder itself.
            if (folder == "projects" || folder.ends_with("/projects"))
                addUnique(locations.claudeProjectFolders, folder);
            else
                addUnique(locations.claudeProjectFolders, folder + "/projects");
        }
    } else {
        if (const auto xdg = environment.get("XDG_CONFIG_HOME"))
            addUnique(locations.claudeProjectFolders, *xdg + "/claude/projects");
        addUnique(locations.claudeProjectFolders, home + "/.config/claude/projects");
        addUnique(locations.claudeProjectFolders, home + "/.claude/projects");
    }

    const std::string codexHome = environment.get("CODEX_HOME").value_or(home + "/.codex");
    addUnique(locations.codexFolders, codexHome + "/sessions");
    addUnique(locations.codexFolders, codexHome + "/archived_sessions");

    std::string openCodeData;
    if (const auto data = environment.get("OPENCODE_DATA_DIR"))
        openCodeData = *data;
    else if (const auto xdg = environment.get("XDG_DATA_HOME"))
        openCodeData = *xdg + "/opencode";
    else
        openCodeData = home + "/.local/share/opencode";
    locations.openCodeDatabase =
        environment.get("OPENCODE_DB").value_or(openCodeData + "/opencode.db");
    locations.openCodeDataFolder = openCodeData;
    locations.openCodeMessageFolder = openCodeData + "/storage/message";
    return locations;
}
