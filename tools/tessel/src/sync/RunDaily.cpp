#include "sync/RunDaily.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/FileLock.h"
#include "collect/Collector.h"
#include "history/Breakdown.h"
#include "history/GeneratedFile.h"
#include "history/Heatmap.h"
#include "history/MachineHistory.h"
#include "history/MachineId.h"
#include "history/ProjectReadme.h"
#include "history/RepoReadme.h"
#include "history/UsageHistory.h"
#include "sync/Git.h"
#include "sync/MachineMove.h"
#include "sync/Repair.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;

// A rejected push (other machines pushing at the same moment) is tried again, after taking in
// what they pushed, until the git deadline has passed. The pauses between tries grow and are
// drawn at random, so machines that collided once spread out rather than collide again.
constexpr std::chrono::milliseconds firstPause{100};
constexpr std::chrono::milliseconds longestPause{2000};

// Where the repository keeps things; throws when `folder` is not inside a git repository.
GitFolders repositoryFolders(const std::string &folder, const std::string &role) {
    if (!fs::is_directory(folder))
        throw FileError(folder, "the " + role + " folder does not exist");
    try {
        return gitFolders(folder);
    } catch (const ChildProcessError &error) {
        throw ToolError(folder + " is not a git repository (" + error.what() + ")");
    }
}

// `folder` as a pattern anchored at the repository's top, "/" for the top itself.
std::string anchoredPattern(const std::string &folder, const std::string &top) {
    const std::string relative =
        fs::relative(fs::canonical(folder), fs::canonical(top)).generic_string();
    if (relative == ".")
        return "/";
    // Appended piece by piece: "/" + string trips a false GCC 12 warning in Release builds.
    std::string pattern(1, '/');
    pattern += escapedGlob(relative);
    pattern += '/';
    return pattern;
}

class Notes {
public:
    void add(const std::string &note) {
        if (std::find(m_notes.begin(), m_notes.end(), note) == m_notes.end())
            m_notes.push_back(note);
    }
    std::vector<std::string> take() { return std::move(m_notes); }

private:
    std::vector<std::string> m_notes;
};

// One sync of a repository at a time: a scheduled run and the panel's button may start
// together, and each clears what the other would leave mid-way. Held in the git folder, which
// nothing pushed can reach.
int lockWaitSeconds() {
    return static_cast<int>(gitDeadlineSeconds()) * 5;
}

FileLock syncLock(const GitFolders &folders) {
    return FileLock(folders.gitDir + "/tessel-sync.flock", lockWaitSeconds());
}

// Writes a document unless the file there is the user's; returns its path to commit, if any.
std::optional<std::string> placeDocument(const std::string &folder, const std::string &relative,
                                         const std::string &contents, Notes &notes) {
    const std::string path = (fs::path(folder) / relative).string();
    refuseLinks(folder, fs::path(path).parent_path());
    if (replaceGeneratedFile(path, contents))
        return relative;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        notes.add("left " + path +
                  " as it is: it is a symbolic link, and tessel writes no file "
                  "through a link");
    else
        notes.add("left " + path + " as it is: it is not a file tessel wrote");
    return std::nullopt;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

struct Publishing {
    // Writes the files to commit and returns their paths.
    std::function<std::vector<std::string>()> write;
    // Called once the fetched branch is at hand, before it is merged.
    std::function<void(const std::string &theirs)> beforeMerge = [](const std::string &) {};
    std::function<void()> afterMerge = [] {};
    ConflictResolver resolve = [](const std::vector<std::string> &) { return false; };
};

// Commits what `write` placed, then publishes: takes in what other machines pushed (merging,
// then writing the documents again from the combined files) and pushes, again after each
// rejection until the deadline.
void commitAndPublish(const std::string &folder, const Publishing &publishing,
                      const std::string &message) {
    commitFiles(folder, publishing.write(), message);
    const auto upstream = upstreamOf(folder);
    if (!upstream)
        return;
    const auto started = SteadyClock::now();
    const auto window = std::chrono::duration<double>(gitDeadlineSeconds());
    std::mt19937_64 random(std::random_device{}());
    for (int attempt = 1;; ++attempt) {
        if (fetchUpstream(folder, *upstream) && !containsFetched(folder, *upstream)) {
            publishing.beforeMerge(upstream->trackingRef());
            // The documents are written again from the combined files and go into the merge.
            const auto complete = [&] {
                publishing.afterMerge();
                return publishing.write();
            };
            if (mergeUpstream(folder, *upstream, message, publishing.resolve, complete) ==
                MergeResult::fastForward)
                commitFiles(folder, complete(), message);
        }
        const std::optional<std::string> rejection = pushUpstream(folder, *upstream);
        if (!rejection)
            return;
        const auto ceiling = std::min(longestPause, firstPause * (1 << std::min(attempt - 1, 8)));
        const auto pause = std::chrono::milliseconds(
            std::uniform_int_distribution<long long>(ceiling.count() / 4, ceiling.count())(random));
        if (SteadyClock::now() + pause - started > window)
            throw ChildProcessError("git push to " + upstream->remote + " was rejected " +
                                    std::to_string(attempt) + " times in " +
                                    secondsText(gitDeadlineSeconds()) +
                                    " s, other pushes arriving first: " + *rejection);
        std::this_thread::sleep_for(pause);
    }
}

} // namespace

std::vector<std::string> runDaily(const std::string &repositoryFolder,
                                  const std::optional<std::string> &profileFolder,
                                  const Environment &environment, bool publishProjects) {
    const GitFolders folders = repositoryFolders(repositoryFolder, "repository");
    const std::string &top = folders.top;
    // An empty profile folder is how a user switches the profile copy off.
    const bool withProfile = profileFolder && !profileFolder->empty();
    const GitFolders profileFolders =
        withProfile ? repositoryFolders(*profileFolder, "profile repository") : GitFolders{};

    Notes notes;
    const FileLock lock = syncLock(folders);
    for (const std::string &note : repairRepository(repositoryFolder, folders))
        notes.add(note);
    const RepositoryFiles files(repositoryFolder);
    const MachineFiles machines(repositoryFolder, top);
    // Only a repository with machines' files can hold a move left unfinished; a demo has none.
    std::optional<MachineIdentity> known;
    if (fs::is_directory(files.machines)) {
        known = machineIdentity(environment);
        settleMoves(machines, *known);
    }

    const CollectSummary summary = collectUsage(repositoryFolder, environment);
    MachineIdentity machine;
    if (!summary.demo)
        machine = known ? *known : machineIdentity(environment);
    for (const std::string &warning : summary.warnings)
        notes.add(warning);
    const DayNumber day = today(environment);
    const std::string message = syncMessagePrefix + formatDay(day);

    // The collector's own files hold local paths: keep them out of every commit. The
    // documents are regenerated after every merge, so a merge keeps this side's copy; a
    // machine's file is never merged line by line.
    const std::string docs = anchoredPattern(files.docs, top);
    excludeLocally(repositoryFolder, docs + ".tessel-state*");
    protectLocally(repositoryFolder, {{docs + "usage.json", MergeAs::generated},
                                      {docs + "README.md", MergeAs::generated},
                                      {docs + "heatmap.svg", MergeAs::generated},
                                      {docs + "machines/*.json", MergeAs::conflict}});

    if (!summary.demo && !machine.madeHere) {
        const std::string before = machine.id;
        machine = moveToNewId(machines, environment, machine);
        notes.add("this home's machine id was made on another host (a copied home folder or a "
                  "cloned system): this machine now publishes as docs/machines/" +
                  machine.id + ".json, leaving docs/machines/" + before +
                  ".json to the other host; every day of both is kept");
    }

    publishProjects = publishProjects || environment.get("TESSEL_PUBLISH_PROJECTS") == "1";
    std::string heatmap;
    Publishing publishing;
    publishing.write = [&] {
        files.refuseLinks();
        const UsageHistory history = readUsageHistory(files.usage).value_or(UsageHistory{});
        heatmap = renderHeatmap(history, day);
        std::string readme = renderRepoReadme(history, day);
        if (publishProjects)
            readme += renderProjectSection(
                readBreakdown(files.breakdown, day - 6, day).value_or(Breakdown{}), day);
        std::vector<std::string> paths{"docs/usage.json"};
        if (!summary.demo)
            paths.push_back("docs/machines/" + machine.id + ".json");
        for (const auto &[name, text] :
             {std::pair{"docs/heatmap.svg", heatmap}, std::pair{"docs/README.md", readme}})
            if (auto placed = placeDocument(repositoryFolder, name, text, notes))
                paths.push_back(*placed);
        return paths;
    };
    publishing.afterMerge = [&] {
        files.refuseLinks();
        const FileLock collecting(files.lock, 120);
        std::vector<std::string> warnings;
        writeSummedUsage(files, day, warnings);
        for (const std::string &warning : warnings)
            notes.add(warning);
    };
    if (!summary.demo) {
        publishing.beforeMerge = [&](const std::string &theirs) {
            const auto reason = ownFileWrittenElsewhere(machines, machine, theirs);
            if (!reason)
                return;
            const std::string before = machine.id;
            machine = moveToNewId(machines, environment, machine);
            notes.add(*reason + "; this machine now publishes as docs/machines/" + machine.id +
                      ".json, leaving docs/machines/" + before +
                      ".json to the other; every day of both is kept");
        };
        publishing.resolve = [&](const std::vector<std::string> &paths) {
            // Any other file in conflict is the person's to settle: nothing is touched then.
            if (!std::all_of(paths.begin(), paths.end(), [&](const std::string &path) {
                    return isMachineFile(machines, path);
                }))
                return false;
            for (const std::string &path : paths) {
                const std::string before = machine.id;
                settleMachineConflict(machines, environment, machine, path);
                if (machine.id != before)
                    notes.add("docs/machines/" + before +
                              ".json, this machine's own file, was changed by another machine "
                              "as well: a copied home folder or a cloned system shares its "
                              "machine id; this machine now publishes as docs/machines/" +
                              machine.id + ".json; every day of both is kept");
            }
            return true;
        };
    }
    commitAndPublish(repositoryFolder, publishing, message);

    if (withProfile) {
        // The profile may be the usage repository itself, whose lock is held already.
        std::optional<FileLock> profileLock;
        if (profileFolders.gitDir != folders.gitDir)
            profileLock.emplace(profileFolders.gitDir + "/tessel-sync.flock", lockWaitSeconds());
        for (const std::string &note : repairRepository(*profileFolder, profileFolders))
            notes.add(note);
        protectLocally(*profileFolder,
                       {{anchoredPattern(*profileFolder, profileFolders.top) + "tessel-heatmap.svg",
                         MergeAs::generated}});
        Publishing picture;
        picture.write = [&] {
            std::vector<std::string> paths;
            if (auto placed = placeDocument(*profileFolder, "tessel-heatmap.svg", heatmap, notes))
                paths.push_back(*placed);
            return paths;
        };
        commitAndPublish(*profileFolder, picture, message);
    }
    return notes.take();
}
