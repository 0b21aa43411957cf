#include "sync/Repair.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "sync/Git.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool inside(const fs::path &path, const fs::path &folder) {
    const std::string text = path.string(), prefix = folder.string();
    return !prefix.empty() && (text == prefix || text.starts_with(prefix + "/"));
}

// True when a process whose name starts with "git" works in one of `folders`. Processes of
// other users cannot be looked into and are passed over.
bool gitProcessIn(const std::vector<fs::path> &folders) {
    std::error_code error;
    for (const auto &entry : fs::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit))
            continue;
        std::string name;
        try {
            name = readWholeFile(entry.path() / "comm", 4096);
        } catch (const FileError &) {
            continue;
        }
        if (!name.starts_with("git"))
            continue;
        std::error_code linkError;
        const fs::path cwd = fs::read_symlink(entry.path() / "cwd", linkError);
        if (linkError)
            continue;
        for (const fs::path &folder : folders)
            if (inside(cwd.lexically_normal(), folder))
                return true;
    }
    return false;
}

// git's lock files: beside HEAD and the index, and below refs/ for each reference.
void findLocks(const fs::path &folder, bool withRefs, std::vector<std::string> &locks) {
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(folder, error)) {
        std::error_code typeError;
        if (entry.path().extension() == ".lock" && entry.is_regular_file(typeError))
            locks.push_back(entry.path().string());
    }
    if (!withRefs)
        return;
    fs::recursive_directory_iterator entry(folder / "refs", error), end;
    for (; !error && entry != end; entry.increment(error)) {
        std::error_code typeError;
        if (entry->path().extension() == ".lock" && entry->is_regular_file(typeError))
            locks.push_back(entry->path().string());
    }
}

std::string firstLine(const fs::path &path) {
    try {
        const std::string text = readWholeFile(path.string(), settingsFileLimit);
        return text.substr(0, text.find('\n'));
    } catch (const FileError &) {
        return {};
    }
}

} // namespace

RepositoryCondition examineCondition(const GitFolders &folders) {
    RepositoryCondition condition;
    findLocks(folders.gitDir, true, condition.locks);
    if (folders.commonDir != folders.gitDir)
        findLocks(folders.commonDir, true, condition.locks);
    std::sort(condition.locks.begin(), condition.locks.end());
    condition.gitAtWork = gitProcessIn({folders.top, folders.gitDir, folders.commonDir});

    const fs::path gitDir = folders.gitDir;
    const auto has = [&](const char *name) {
        std::error_code error;
        return fs::exists(gitDir / name, error);
    };
    if (has("rebase-merge") || has("rebase-apply")) {
        condition.ownOperation = "a rebase";
        condition.undo = "git rebase --abort";
    } else if (has("CHERRY_PICK_HEAD")) {
        condition.ownOperation = "a cherry-pick";
        condition.undo = "git cherry-pick --abort";
    } else if (has("REVERT_HEAD")) {
        condition.ownOperation = "a revert";
        condition.undo = "git revert --abort";
    } else if (has("MERGE_HEAD")) {
        if (firstLine(gitDir / "MERGE_MSG").starts_with(syncMessagePrefix)) {
            condition.interruptedSync = true;
        } else {
            condition.ownOperation = "a merge";
            condition.undo = "git merge --abort";
        }
    } else if (has("BISECT_LOG")) {
        condition.ownOperation = "a bisect";
        condition.undo = "git bisect reset";
    }
    return condition;
}

std::vector<std::string> repairRepository(const std::string &repository,
                                          const GitFolders &folders) {
    const RepositoryCondition condition = examineCondition(folders);
    if (!condition.ownOperation.empty())
        throw ToolError(repository + ": " + condition.ownOperation +
                        " of your own is under way there; finish it, or undo it (" +
                        condition.undo + "), and sync again");
    std::vector<std::string> done;
    if (condition.gitAtWork)
        return done;
    for (const std::string &lock : condition.locks) {
        std::error_code error;
        if (fs::remove(lock, error))
            done.push_back("removed " + lock + ", left behind by a git that was stopped");
    }
    if (condition.interruptedSync) {
        runGit(repository, {"merge", "--abort"});
        done.push_back("undid the merge an interrupted sync left in " + repository);
    }
    return done;
}
