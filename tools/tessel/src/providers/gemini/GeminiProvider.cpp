#include "providers/gemini/GeminiProvider.h"

#include "providers/FolderList.h"
#include "providers/gemini/GeminiLog.h"

#include <dirent.h>

#include <algorithm>

namespace {

constexpr std::string_view variables[] = {"GEMINI_CLI_HOME"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    logs.lookedIn = geminiTempFolders(environment);
    std::vector<std::string> chats;
    for (const std::string &temp : logs.lookedIn) {
        // Listing the folder is also what tells whether Gemini CLI is installed at all.
        DIR *folder = ::opendir(temp.c_str());
        if (!folder)
            continue;
        while (const dirent *entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == ".." || name == "bin" ||
                (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))
                continue;
            chats.push_back(temp + "/" + std::string(name) + "/chats");
        }
        ::closedir(folder);
    }
    std::sort(chats.begin(), chats.end());
    for (const std::string &folder : chats) {
        logs.folders.push_back({folder, LogStorage::lines, ".jsonl"});
        logs.folders.push_back({folder, LogStorage::document, ".json"});
    }
    return logs;
}

} // namespace

std::vector<std::string> geminiTempFolders(const Environment &environment) {
    std::vector<std::string> folders;
    if (const auto configured = environment.get("GEMINI_CLI_HOME")) {
        // Gemini CLI takes it for the home folder; some point it at the .gemini folder itself.
        for (std::string &root : splitFolderList(*configured, '\0')) {
            addFolder(folders, root + "/.gemini/tmp");
            addFolder(folders, root + "/tmp");
        }
        return folders;
    }
    addFolder(folders, environment.home() + "/.gemini/tmp");
    return folders;
}

const ProviderDefinition &geminiProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::gemini,
        .id = "gemini",
        .displayName = "Gemini CLI",
        .environment = variables,
        .locate = locate,
        .needle = gemini::usageNeedle,
        .parseLine = gemini::parseLine,
        .parseDocument = gemini::parseDocument,
    };
    return definition;
}
