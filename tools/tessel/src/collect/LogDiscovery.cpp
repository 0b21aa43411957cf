#include "collect/LogDiscovery.h"

#include "base/Errors.h"
#include "collect/CollectorState.h"
#include "providers/ProviderRegistry.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileState stateOf(const struct stat &info) {
    FileState state;
    state.size = static_cast<std::uint64_t>(info.st_size);
    state.mtimeNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    state.inode = static_cast<std::uint64_t>(info.st_ino);
    return state;
}

// Names a folder that exists but cannot be listed. The walk below skips such folders, so
// without this a collect would quietly count less.
void checkListable(int parent, const char *name, const std::string &path,
                   std::vector<std::string> &problems) {
    if (::faccessat(parent, name, R_OK | X_OK, 0) != 0 && errno != ENOENT)
        problems.push_back("cannot read the folder " + path + ": " + systemReason(errno));
}

// A dotted ending is an extension, any other the whole file name.
bool matches(std::string_view name, std::string_view ending) {
    return ending.starts_with('.') ? name.size() > ending.size() && name.ends_with(ending)
                                   : name == ending;
}

// What a tool's file keys begin with: the tool and the kind of file.
std::string logFileKeyPrefix(const ProviderDefinition &provider, LogStorage storage) {
    static constexpr std::string_view tags[] = {":", "-document:", "-db:"};
    return std::string(provider.id) + std::string(tags[static_cast<int>(storage)]);
}

// Told of each file found: its folder's path, its name, its key in the file table and what
// stat() says of it.
using FoundFile =
    std::function<void(const std::string &, std::string_view, std::uint64_t, const struct stat &)>;

// Walks the folder open as `folder` (which it closes) at `path`, whose key so far is `pathKey`.
// Every name is looked up relative to its open folder rather than from the root again, the
// type the listing gives saves a stat() of every folder and skipped file, and each key is
// hashed on from its folder's rather than from the start of the path.
void walk(int folder, std::string &path, const MessageKeyInProgress &pathKey,
          std::string_view ending, const FoundFile &found, std::vector<std::string> &problems) {
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return;
    }
    const size_t length = path.size();
    while (const dirent *entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        unsigned char type = entry->d_type;
        struct stat info {};
        if (type == DT_UNKNOWN) {
            if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
        }
        // Only for the files kept and the folders walked.
        const auto nameKey = [&] { return pathKey.then("/").then(name); };
        if (matches(name, ending)) {
            // Followed where it is a link, as a log may be.
            if (::fstatat(folder, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode))
                found(path, name, nameKey().key(), info);
        }
        path.append("/").append(name);
        if (type == DT_LNK && !matches(name, ending)) {
            // Linked folders are not walked, but one that cannot be read is named.
            if (::fstatat(folder, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode))
                checkListable(folder, entry->d_name, path, problems);
        }
        if (type == DT_DIR) {
            checkListable(folder, entry->d_name, path, problems);
            const int inner =
                ::openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner >= 0)
                walk(inner, path, nameKey(), ending, found, problems);
            else if (errno != EACCES && errno != ENOENT) // those are named above, or gone
                problems.push_back("cannot read the folder " + path + ": " + systemReason(errno));
        }
        path.resize(length);
    }
    ::closedir(listing);
}

void findFiles(const std::string &folder, const std::string &keyPrefix, std::string_view ending,
               const FoundFile &found, std::vector<std::string> &problems) {
    checkListable(AT_FDCWD, folder.c_str(), folder, problems);
    const int open = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (open < 0) {
        if (errno != ENOENT && errno != EACCES) // a missing folder is no log; EACCES is named above
            problems.push_back("cannot read the folder " + folder + ": " + systemReason(errno));
        return;
    }
    std::string path = folder;
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    walk(open, path, fileKeyStart(keyPrefix).then(path), ending, found, problems);
}

} // namespace

std::optional<FileState> statFile(const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return stateOf(info);
}

std::uint64_t logFileKey(const ProviderDefinition &provider, LogStorage storage,
                         std::string_view path) {
    return fileKey(logFileKeyPrefix(provider, storage), path);
}

std::string FoundLogs::path(const Entry &entry) const {
    return folderOf(entry).path + "/" + (names.c_str() + entry.nameAt);
}

LogFile FoundLogs::file(const Entry &entry) const {
    const Folder &folder = folderOf(entry);
    FileState current;
    current.size = entry.size;
    current.mtimeNs = entry.mtimeNs;
    current.inode = entry.inode;
    return {folder.provider, folder.storage, entry.key, path(entry), current};
}

std::vector<LogFile> FoundLogs::files() const {
    std::vector<LogFile> all;
    all.reserve(entries.size());
    for (const Entry &entry : entries)
        all.push_back(file(entry));
    return all;
}

FoundLogs discoverLogs(const Environment &environment, std::vector<std::string> &problems) {
    FoundLogs logs;
    for (const ProviderDefinition *provider : providerDefinitions()) {
        // A tool that keeps only databases is located once, by discoverDatabases().
        if (!provider->parseLine && !provider->parseDocument)
            continue;
        for (const LogFolder &folder : provider->locate(environment).folders) {
            findFiles(
                folder.path, logFileKeyPrefix(*provider, folder.storage), folder.ending,
                [&](const std::string &folderPath, std::string_view name, std::uint64_t key,
                    const struct stat &info) {
                    // The files of a folder come one after another, before or after those of
                    // its subfolders: the folder of the last file found is most often the one.
                    if (logs.folders.empty() || logs.folders.back().provider != provider ||
                        logs.folders.back().storage != folder.storage ||
                        logs.folders.back().path != folderPath)
                        logs.folders.push_back({provider, folder.storage, folderPath});
                    if (logs.names.size() + name.size() >= UINT32_MAX)
                        throw ToolError("too many log files: their names take 4 GiB");
                    const FileState current = stateOf(info);
                    logs.entries.push_back({key, current.size, current.mtimeNs, current.inode,
                                            static_cast<std::uint32_t>(logs.folders.size() - 1),
                                            static_cast<std::uint32_t>(logs.names.size())});
                    logs.names.append(name).push_back('\0');
                },
                problems);
        }
    }

    // Every file counts, whatever its name: a Codex session of the same name in sessions/ and
    // archived_sessions/ may hold turns the other lacks, and what both hold counts once by its
    // identity. A folder listed twice (two variables naming it) gives its files once. Equal
    // keys are the same path but for a hash collision, which the path then orders.
    std::sort(logs.entries.begin(), logs.entries.end(),
              [&](const FoundLogs::Entry &a, const FoundLogs::Entry &b) {
                  return a.key != b.key ? a.key < b.key : logs.path(a) < logs.path(b);
              });
    logs.entries.erase(std::unique(logs.entries.begin(), logs.entries.end(),
                                   [](const FoundLogs::Entry &a, const FoundLogs::Entry &b) {
                                       return a.key == b.key;
                                   }),
                       logs.entries.end());
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
