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

#include <algorithm>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

// A push the remote keeps rejecting (other machines pushing at the same moment) is tried this
// often, each time after taking in what they pushed.
constexpr int pushAttempts = 3;

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// The repository's top folder; throws when `folder` is not inside a git repository.
std::string repositoryTop(const std::string &folder, const std::string &role) {
    if (!fs::is_directory(folder))
        throw FileError(folder, "the " + role + " folder does not exist");
    try {
        return trimmed(runGit(folder, {"rev-parse", "--show-toplevel"}));
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

// Writes a document unless the file there is the user's; returns its path to commit, if any.
std::optional<std::string> placeDocument(const std::string &folder, const std::string &relative,
                                         const std::string &contents, Notes &notes) {
    const std::string path = (fs::path(folder) / relative).string();
    if (replaceGeneratedFile(path, contents))
        return relative;
    notes.add("left " + path + " as it is: it is not a file tessel wrote");
    return std::nullopt;
}

// Commits what `write` placed, then publishes: takes in what other machines pushed (merging,
// then writing the documents again from the combined files) and pushes, again after a
// rejection, a few times at most.
void commitAndPublish(const std::string &folder,
                      const std::function<std::vector<std::string>()> &write,
                      const std::function<void()> &afterMerge, const std::string &message) {
    commitFiles(folder, write(), message);
    const auto upstream = upstreamOf(folder);
    if (!upstream)
        return;
    for (int attempt = 1;; ++attempt) {
        if (fetchUpstream(folder, *upstream) && mergeUpstream(folder, *upstream, message)) {
            afterMerge();
            commitFiles(folder, write(), message);
        }
        const std::optional<std::string> rejection = pushUpstream(folder, *upstream);
        if (!rejection)
            return;
        if (attempt == pushAttempts)
            throw ChildProcessError("git push to " + upstream->remote + " was rejected " +
                                    std::to_string(pushAttempts) +
                                    " times, other pushes arriving first: " + *rejection);
    }
}

} // namespace

std::vector<std::string> runDaily(const std::string &repositoryFolder,
                                  const std::optional<std::string> &profileFolder,
                                  const Environment &environment, bool publishProjects) {
    const std::string top = repositoryTop(repositoryFolder, "repository");
    // An empty profile folder is how a user switches the profile copy off.
    const bool withProfile = profileFolder && !profileFolder->empty();
    const std::string profileTop =
        withProfile ? repositoryTop(*profileFolder, "profile repository") : std::string();

    Notes notes;
    const CollectSummary summary = collectUsage(repositoryFolder, environment);
    for (const std::string &warning : summary.warnings)
        notes.add(warning);
    const RepositoryFiles files(repositoryFolder);
    const DayNumber day = today(environment);
    const std::string message = "Token usage for " + formatDay(day);

    // The collector's own files hold local paths: keep them out of every commit. The
    // documents are regenerated after every merge, so a merge keeps this side's copy.
    const std::string docs = anchoredPattern(files.docs, top);
    excludeLocally(repositoryFolder, docs + ".tessel-state*");
    for (const char *name : {"usage.json", "README.md", "heatmap.svg"})
        markGeneratedLocally(repositoryFolder, docs + name);

    const std::optional<std::string> ownHistory =
        summary.demo ? std::nullopt
                     : std::optional("docs/machines/" + machineIdentity(environment).id + ".json");
    publishProjects = publishProjects || environment.get("TESSEL_PUBLISH_PROJECTS") == "1";
    std::string heatmap;
    const auto writeDocuments = [&] {
        const UsageHistory history = readUsageHistory(files.usage).value_or(UsageHistory{});
        heatmap = renderHeatmap(history, day);
        std::string readme = renderRepoReadme(history, day);
        if (publishProjects)
            readme += renderProjectSection(
                readBreakdown(files.breakdown, day - 6, day).value_or(Breakdown{}), day);
        std::vector<std::string> paths{"docs/usage.json"};
        if (ownHistory)
            paths.push_back(*ownHistory);
        for (const auto &[name, text] :
             {std::pair{"docs/heatmap.svg", heatmap}, std::pair{"docs/README.md", readme}})
            if (auto placed = placeDocument(repositoryFolder, name, text, notes))
                paths.push_back(*placed);
        return paths;
    };
    const auto sumMachines = [&] {
        const FileLock lock(files.lock, 120);
        std::vector<std::string> warnings;
        writeSummedUsage(files, warnings);
        for (const std::string &warning : warnings)
            notes.add(warning);
    };
    commitAndPublish(repositoryFolder, writeDocuments, sumMachines, message);

    if (withProfile) {
        markGeneratedLocally(*profileFolder,
                             anchoredPattern(*profileFolder, profileTop) + "tessel-heatmap.svg");
        const auto writePicture = [&] {
            std::vector<std::string> paths;
            if (auto placed = placeDocument(*profileFolder, "tessel-heatmap.svg", heatmap, notes))
                paths.push_back(*placed);
            return paths;
        };
        commitAndPublish(
            *profileFolder, writePicture, [] {}, message);
    }
    return notes.take();
}
