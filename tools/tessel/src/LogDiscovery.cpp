#include "LogDiscovery.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

void findFiles(const std::string &folder, std::string_view extension,
               const std::function<void(const std::string &)> &found) {
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const fs::path &path = walk->path();
        if (path.extension() == extension)
            found(path.string());
    }
}

} // namespace

std::optional<FileState> statFile(const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    FileState state;
    state.size = static_cast<std::uint64_t>(info.st_size);
    state.mtimeNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    state.inode = static_cast<std::uint64_t>(info.st_ino);
    return state;
}

std::vector<LogFile> discoverLogs(const LogLocations &locations) {
    std::vector<LogFile> logs;
    const auto add = [&logs](LogKind kind, std::uint64_t key, const std::string &path) {
        if (auto current = statFile(path)) {
            current->codex = kind == LogKind::codex;
            logs.push_back({kind, key, path, *current});
        }
    };
    for (const std::string &folder : locations.claudeProjectFolders)
        findFiles(folder, ".jsonl", [&](const std::string &path) {
            add(LogKind::claude, fileKey("claude:", path), path);
        });
    for (const std::string &folder : locations.codexFolders)
        findFiles(folder, ".jsonl", [&](const std::string &path) {
            add(LogKind::codex, fileKey("codex:", fs::path(path).filename().string()), path);
        });
    findFiles(locations.openCodeMessageFolder, ".json", [&](const std::string &path) {
        add(LogKind::openCodeMessage, fileKey("opencode-message:", path), path);
    });

    // One entry per key: a Codex session present twice (a copy in archived_sessions/) is
    // read once, from its longest copy.
    std::sort(logs.begin(), logs.end(), [](const LogFile &a, const LogFile &b) {
        if (a.key != b.key)
            return a.key < b.key;
        if (a.current.size != b.current.size)
            return a.current.size > b.current.size;
        return a.path < b.path;
    });
    logs.erase(std::unique(logs.begin(), logs.end(),
                           [](const LogFile &a, const LogFile &b) { return a.key == b.key; }),
               logs.end());
    return logs;
}

std::vector<std::string> discoverOpenCodeDatabases(const LogLocations &locations) {
    std::vector<std::string> databases{locations.openCodeDatabase};
    std::error_code error;
    for (fs::directory_iterator entry(locations.openCodeDataFolder, error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.starts_with("opencode-") && name.ends_with(".db") && name.size() > 12)
            databases.push_back(entry->path().string());
    }
    std::sort(databases.begin() + 1, databases.end());
    databases.erase(std::unique(databases.begin(), databases.end()), databases.end());
    return databases;
}
