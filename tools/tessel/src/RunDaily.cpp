#include "RunDaily.h"

#include "AtomicFile.h"
#include "Clock.h"
#include "Collector.h"
#include "Errors.h"
#include "Git.h"
#include "Heatmap.h"
#include "RepoReadme.h"
#include "UsageHistory.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

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

} // namespace

void runDaily(const std::string &repositoryFolder, const std::optional<std::string> &profileFolder,
              const Environment &environment) {
    const std::string top = repositoryTop(repositoryFolder, "repository");
    // An empty profile folder is how a user switches the profile copy off.
    const bool withProfile = profileFolder && !profileFolder->empty();
    const std::string profileTop =
        withProfile ? repositoryTop(*profileFolder, "profile repository") : std::string();

    collectUsage(repositoryFolder, environment);
    const RepositoryFiles files(repositoryFolder);
    const UsageHistory history = readUsageHistory(files.usage).value_or(UsageHistory{});
    const DayNumber day = today(environment);
    const std::string heatmap = renderHeatmap(history, day);
    writeFileAtomically(files.docs + "/heatmap.svg", heatmap);
    writeFileAtomically(files.docs + "/README.md", renderRepoReadme(history, day));

    // The collector's own files hold local paths: keep them out of every commit.
    const fs::path docs = fs::canonical(files.docs);
    const std::string relativeDocs = fs::relative(docs, fs::canonical(top)).generic_string();
    excludeLocally(repositoryFolder, "/" + relativeDocs + "/.tessel-state*");

    const std::string message = "Token usage for " + formatDay(day);
    commitFiles(repositoryFolder, {"docs/usage.json", "docs/heatmap.svg", "docs/README.md"},
                message);
    pushIfRemote(repositoryFolder);

    if (withProfile) {
        writeFileAtomically((fs::path(*profileFolder) / "tessel-heatmap.svg").string(), heatmap);
        commitFiles(*profileFolder, {"tessel-heatmap.svg"}, message);
        pushIfRemote(*profileFolder);
    }
}
