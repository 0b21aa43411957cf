#include "collect/LogDiscovery.h"

#include "base/Errors.h"
#include "providers/ProviderRegistry.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Names a folder that exists but cannot be listed. The walk below skips such folders, so
// without this a collect would quietly count less.
void checkListable(const std::string &folder, std::vector<std::string> &problems) {
    if (::access(folder.c_str(), R_OK | X_OK) != 0 && errno != ENOENT)
        problems.push_back("cannot read the folder " + folder + ": " + systemReason(errno));
}

void findFiles(const std::string &folder, std::string_view extension,
               const std::function<void(const std::string &)> &found,
               std::vector<std::string> &problems) {
    checkListable(folder, problems);
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const fs::path &path = walk->path();
        std::error_code typeError;
        // A dotted ending is an extension, any other the whole file name.
        if (extension.starts_with('.') ? path.extension() == extension
                                       : path.filename() == extension)
            found(path.string());
        else if (walk->is_directory(typeError))
            checkListable(path.string(), problems);
    }
    if (error && error != std::errc::no_such_file_or_directory)
        problems.push_back("cannot read the folder " + folder + ": " + error.message());
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

std::uint64_t logFileKey(const ProviderDefinition &provider, LogStorage storage,
                         std::string_view path) {
    static constexpr std::string_view tags[] = {":", "-document:", "-db:"};
    return fileKey(std::string(provider.id) + std::string(tags[static_cast<int>(storage)]), path);
}

std::vector<LogFile> discoverLogs(const Environment &environment,
                                  std::vector<std::string> &problems) {
    std::vector<LogFile> logs;
    for (const ProviderDefinition *provider : providerDefinitions()) {
        // A tool that keeps only databases is located once, by discoverDatabases().
        if (!provider->parseLine && !provider->parseDocument)
            continue;
        for (const LogFolder &folder : provider->locate(environment).folders) {
            findFiles(
                folder.path, folder.ending,
                [&](const std::string &path) {
                    if (const auto current = statFile(path))
                        logs.push_back({provider, folder.storage,
                                        logFileKey(*provider, folder.storage, path), path,
                                        *current});
                },
                problems);
        }
    }

    // Every file counts, whatever its name: a Codex session of the same name in sessions/ and
    // archived_sessions/ may hold turns the other lacks, and what both hold counts once by its
    // identity. A folder listed twice (two variables naming it) gives its files once.
    std::sort(logs.begin(), logs.end(), [](const LogFile &a, const LogFile &b) {
        return a.key != b.key ? a.key < b.key : a.path < b.path;
    });
    logs.erase(std::unique(logs.begin(), logs.end(),
                           [](const LogFile &a, const LogFile &b) { return a.key == b.key; }),
               logs.end());
    return logs;
}

std::vector<LogDatabase> discoverDatabases(const Environment &environment) {
    std::vector<LogDatabase> databases;
    for (const ProviderDefinition *provider : providerDefinitions())
        if (provider->readDatabase)
            for (std::string &path : provider->locate(environment).databases)
                databases.push_back({provider, std::move(path)});
    return databases;
}
