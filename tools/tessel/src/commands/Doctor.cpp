#include "commands/Doctor.h"

#include "base/AtomicFile.h"
#include "base/ChildProcess.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "base/Secrets.h"
#include "collect/Collector.h"
#include "collect/LogDiscovery.h"
#include "commands/ClaudeRetention.h"
#include "commands/RepositoryInUse.h"
#include "commands/TrayHost.h"
#include "history/MachineHistory.h"
#include "history/MachineId.h"
#include "history/UsageHistory.h"
#include "providers/ProviderRegistry.h"
#include "sync/Git.h"
#include "sync/Repair.h"
#include "sync/Schedule.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string sizeText(std::uint64_t bytes) {
    const char *units[] = {"B", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1000 && unit < 4) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

std::string localTime(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string ago(std::int64_t seconds, std::int64_t now) {
    const std::int64_t age = now - seconds;
    if (age < 0)
        return "in the future";
    if (age < 120)
        return "just now";
    if (age < 2 * 3600)
        return std::to_string(age / 60) + " minutes ago";
    if (age < 2 * 86400)
        return std::to_string(age / 3600) + " hours ago";
    return std::to_string(age / 86400) + " days ago";
}

std::string joined(const std::vector<std::string> &items) {
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

struct Found {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    std::int64_t newestNs = 0;
    std::vector<std::string> folders;

    void add(const std::string &folder, const FileState &state) {
        ++files;
        bytes += state.size;
        newestNs = std::max(newestNs, state.mtimeNs);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    std::string summary() const {
        return std::to_string(files) + (files == 1 ? " file, " : " files, ") + sizeText(bytes) +
               ", newest " + localTime(newestNs / 1'000'000'000) + " in " + joined(folders);
    }
};

// "a, b or c".
std::string joinedAlternatives(const std::vector<std::string> &items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
    return text;
}

// The folder of `folders` that holds `path`.
std::string folderOf(const std::string &path, const std::vector<std::string> &folders) {
    for (const std::string &folder : folders)
        if (path.starts_with(folder + "/"))
            return folder;
    return fs::path(path).parent_path().string();
}

DoctorLine providerLine(const std::string &name, const Found &found,
                        const std::vector<std::string> &lookedIn) {
    if (found.files > 0)
        return {Verdict::ok, name + " logs", found.summary(), {}};
    return {Verdict::note, name + " logs", "none in " + joined(lookedIn), {}};
}

std::string git(const std::string &repository, const std::vector<std::string> &arguments) {
    std::string text = runGit(repository, arguments);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// What a stopped git left, or an operation under way, that would stop the next sync.
void examineGitState(const std::string &folder, std::vector<DoctorLine> &lines) {
    const RepositoryCondition condition = examineCondition(gitFolders(folder));
    if (condition.gitAtWork)
        lines.push_back({Verdict::note,
                         "git state",
                         "git is at work in the repository right now; what it holds is left alone",
                         {}});
    else
        for (const std::string &lock : condition.locks)
            lines.push_back({Verdict::fail, "git state",
                             lock + " was left behind by a git that was stopped, and stops git",
                             "the next sync removes it, or remove it yourself: rm '" + lock + "'"});
    if (condition.interruptedSync)
        lines.push_back({Verdict::fail, "git state", "a merge an interrupted sync left is open",
                         "the next sync undoes it, or undo it yourself: git -C '" + folder +
                             "' merge --abort"});
    if (!condition.ownOperation.empty())
        lines.push_back(
            {Verdict::fail, "git state",
             condition.ownOperation + " of your own is under way: the next sync stops",
             "finish it, or undo it: git -C '" + folder + "' " + condition.undo.substr(4)});
}

void examineRepository(const DoctorRequest &request, std::vector<DoctorLine> &lines) {
    const std::string &folder = request.repositoryFolder;
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        lines.push_back({Verdict::fail, "repository",
                         folder + " (" + request.repositoryReason + ") does not exist",
                         "start TesselMenu once, which creates it, or set TesselRepoDir in "
                         "~/.config/TesselMenu/Info.json to an existing folder"});
        return;
    }
    lines.push_back(
        {Verdict::ok, "repository", folder + " (" + request.repositoryReason + ")", {}});

    if (!programOnPath("git")) {
        lines.push_back({Verdict::fail, "git", "git is not installed", "sudo apt install git"});
        return;
    }
    std::string top;
    try {
        top = git(folder, {"rev-parse", "--show-toplevel"});
    } catch (const ChildProcessError &) {
        lines.push_back({Verdict::fail, "git", folder + " is not a git repository",
                         "git -C '" + folder + "' init"});
        return;
    }
    std::string last = "no commit yet";
    try {
        last = "last commit " + git(folder, {"log", "-1", "--date=format-local:%Y-%m-%d %H:%M",
                                             "--format=%h %cd %s"});
    } catch (const ChildProcessError &) {
    }
    lines.push_back({Verdict::ok, "git", "repository at " + top + ", " + last, {}});
    examineGitState(folder, lines);

    std::string remotes = git(folder, {"remote"});
    if (remotes.empty()) {
        lines.push_back({Verdict::note,
                         "remote",
                         "none: run daily commits locally and publishes nothing; to publish, "
                         "git -C '" +
                             folder + "' remote add origin git@github.com:YOU/REPOSITORY.git",
                         {}});
        return;
    }
    // The remote a push would use: the branch's own, else origin, else the first.
    std::string remote = remotes.substr(0, remotes.find('\n'));
    if (("\n" + remotes + "\n").find("\norigin\n") != std::string::npos)
        remote = "origin";
    const ChildOutcome head = runChild({"git", "symbolic-ref", "--quiet", "--short", "HEAD"},
                                       {folder, {}, std::chrono::seconds(10)});
    if (!head.succeeded()) {
        lines.push_back({Verdict::fail, "branch",
                         "no branch is checked out (HEAD is detached): a sync has nowhere to push",
                         "check the branch out again (git -C '" + folder + "' switch -)"});
    } else {
        std::string branch = head.standardOutput;
        while (!branch.empty() && branch.back() == '\n')
            branch.pop_back();
        try {
            if (const std::string own = git(folder, {"config", "branch." + branch + ".remote"});
                !own.empty())
                remote = own;
        } catch (const ChildProcessError &) {
        }
    }
    std::string address;
    try {
        address = withoutSecrets(git(folder, {"remote", "get-url", remote}));
    } catch (const ChildProcessError &failure) {
        address = failure.what();
    }
    lines.push_back({Verdict::ok, "remote", remote + " " + address, {}});

    const ChildOutcome probe = probeRemote(folder, remote, request.remoteDeadlineSeconds);
    if (probe.succeeded()) {
        lines.push_back(
            {Verdict::ok, "remote access", "git ls-remote " + remote + " answered", {}});
    } else if (probe.exitCode == 124 || probe.exitCode == 128 + 9) {
        lines.push_back(
            {Verdict::fail, "remote access",
             "no answer from " + address + " within " +
                 std::to_string(request.remoteDeadlineSeconds) + " s",
             "check the network and the remote's address (git -C '" + folder + "' remote -v)"});
    } else {
        lines.push_back(
            {Verdict::fail, "remote access",
             "git ls-remote " + remote + " failed: " + withoutSecrets(probe.message()),
             "make sure git can reach " + address +
                 " without asking: for https a credential helper (gh auth setup-git, or git "
                 "config --global credential.helper store), for ssh a key in ssh-agent "
                 "(ssh -T git@github.com)"});
    }
}

void examineSchedule(const Environment &environment, std::vector<DoctorLine> &lines) {
    const std::string status = scheduleStatus(environment);
    std::istringstream input(status);
    std::string line, next, systemd;
    bool loaded = false, present = true;
    while (std::getline(input, line)) {
        if (line == "loaded: true")
            loaded = true;
        else if (line.starts_with("next: "))
            next = line.substr(6);
        else if (line.starts_with("systemd: "))
            systemd = line.substr(9);
        else if (line.starts_with("unit: ") && line.ends_with("(not installed)"))
            present = false;
    }
    if (loaded)
        lines.push_back(
            {Verdict::ok,
             "schedule",
             std::string(timerName) + " installed" + (next.empty() ? "" : ", next run " + next),
             {}});
    else if (!present)
        lines.push_back({Verdict::note,
                         "schedule",
                         "not installed: figures are published only by the panel's sync button "
                         "(switch on 每日同步 in the panel's menu to publish daily)",
                         {}});
    else
        lines.push_back({Verdict::fail, "schedule",
                         std::string(timerName) + " is there but not active" +
                             (systemd.empty() ? "" : " (" + systemd + ")"),
                         "switch 每日同步 off and on again in the panel's menu"});
}

// The tool's files in the repository: no link in their place, this machine's own history and
// id sound, and every other machine's file fit to be summed.
void examineMachines(const std::string &folder, const Environment &environment,
                     std::vector<DoctorLine> &lines) {
    const RepositoryFiles files(folder);
    try {
        files.refuseLinks();
    } catch (const FileError &error) {
        lines.push_back({Verdict::fail, "repository files", error.what(),
                         "remove the link (git rm it where it was committed) and sync again"});
        return;
    }
    for (const char *document : {"README.md", "heatmap.svg"}) {
        struct stat info {};
        const std::string path = files.docs + "/" + document;
        if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            lines.push_back({Verdict::note,
                             "repository files",
                             path + " is a symbolic link: tessel leaves it as it is",
                             {}});
    }
    std::optional<MachineIdentity> machine;
    try {
        machine = storedMachineIdentity(environment);
    } catch (const ToolError &error) {
        lines.push_back({Verdict::fail, "machine id", error.what(),
                         "restore it from a backup of your home folder, or remove it to count "
                         "this machine as a new one"});
        return;
    }
    if (machine && !machine->madeHere)
        lines.push_back({Verdict::note,
                         "machine id",
                         machine->id + " was made on another host (a copied home folder or a "
                                       "cloned system): the next sync takes a new one and keeps "
                                       "every day",
                         {}});
    if (machine) {
        const std::string own = machineHistoryPath(files, machine->id);
        try {
            refuseLinks(folder, own);
            readUsageHistory(own, {machineFileLimit, own + " (this machine's own history)"});
        } catch (const ToolError &error) {
            lines.push_back({Verdict::fail, "machine history", error.what(),
                             "move it aside; the next collect counts this machine's logs again"});
        }
    }
    std::vector<std::string> warnings;
    summedHistory(files, today(environment), warnings);
    for (const std::string &warning : warnings)
        lines.push_back({Verdict::fail, "machine files", warning,
                         "the machine that writes it must mend it; until then its figures are "
                         "missing from the sum"});
}

void examineLastCollect(const std::string &folder, const Environment &environment,
                        std::vector<DoctorLine> &lines) {
    const RepositoryFiles files(folder);
    std::optional<UsageHistory> history;
    try {
        history = readUsageHistory(files.usage);
    } catch (const ToolError &error) {
        lines.push_back({Verdict::fail, "last collect", error.what(),
                         "move the damaged file aside; the next collect counts the logs again"});
        return;
    }
    if (!history) {
        lines.push_back(
            {Verdict::note,
             "last collect",
             "never: TesselMenu collects on each refresh, or run tessel collect in " + folder,
             {}});
        return;
    }
    const auto state = statFile(files.state);
    const auto usage = statFile(files.usage);
    const std::int64_t when = (state ? state->mtimeNs : usage->mtimeNs) / 1'000'000'000;
    const DayNumber day = today(environment);
    std::string detail = localTime(when) + " (" + ago(when, currentTime(environment)) + "), " +
                         std::to_string(history->days.size()) +
                         (history->days.size() == 1 ? " day" : " days") + " stored, today " +
                         std::to_string(history->dayTotal(day)) + " tokens";
    if (history->demo)
        lines.push_back({Verdict::note,
                         "last collect",
                         detail + "; a demo repository: the figures are made up",
                         {}});
    else
        lines.push_back({Verdict::ok, "last collect", detail, {}});
}

} // namespace

std::vector<DoctorLine> examineLogs(const Environment &environment) {
    std::vector<std::string> problems;
    const std::vector<LogFile> logs = discoverLogs(environment, problems).files();
    std::vector<DoctorLine> lines;
    std::size_t filesInAll = 0, claudeFiles = 0;
    std::vector<std::string> names, variables;
    for (const ProviderDefinition *provider : providerDefinitions()) {
        const ProviderLogs where = provider->locate(environment);
        std::vector<std::string> lookedIn = where.databases;
        std::vector<std::string> folders;
        for (const LogFolder &folder : where.folders)
            folders.push_back(folder.path);
        lookedIn.insert(lookedIn.end(), folders.begin(), folders.end());
        if (!where.lookedIn.empty())
            lookedIn = where.lookedIn;
        Found found;
        for (const LogFile &log : logs)
            if (log.provider == provider)
                found.add(folderOf(log.path, folders), log.current);
        for (const std::string &database : where.databases)
            if (const auto state = statFile(database))
                found.add(database, *state);
        filesInAll += found.files;
        if (provider->provider == Provider::claude)
            claudeFiles = found.files;
        lines.push_back(providerLine(std::string(provider->displayName), found, lookedIn));
        names.emplace_back(provider->displayName);
        // One variable a tool, the one that moves its folder, keeps the advice short.
        for (const std::string_view name : provider->environment)
            if (!name.ends_with("_DB")) {
                variables.emplace_back(name);
                break;
            }
    }
    for (DoctorLine &line : claudeRetentionLines(environment, claudeFiles > 0))
        lines.push_back(std::move(line));
    for (const std::string &problem : problems)
        lines.push_back(
            {Verdict::fail, "log folder", problem, "give your account read access to it"});
    if (filesInAll == 0)
        lines.push_back({Verdict::fail, "logs", "no AI coding tool's logs found",
                         "figures appear once " + joinedAlternatives(names) +
                             " has been used on this account; where they keep logs elsewhere, "
                             "set " +
                             joinedAlternatives(variables)});
    return lines;
}

std::vector<DoctorLine> examineEverything(const DoctorRequest &request,
                                          const Environment &environment) {
    std::vector<DoctorLine> lines = examineLogs(environment);
    for (const std::string &refused : refusedSettings(environment, executableFolder()))
        lines.push_back({Verdict::fail, "settings", refused,
                         "make it a JSON object of a few settings, such as {\"TesselRepoDir\": "
                         "\"/home/me/usage\"}"});
    examineRepository(request, lines);
    examineSchedule(environment, lines);
    if (fs::is_directory(request.repositoryFolder)) {
        examineMachines(request.repositoryFolder, environment, lines);
        examineLastCollect(request.repositoryFolder, environment, lines);
    }
    lines.push_back(trayHostLine(environment));
    return lines;
}

std::string renderDoctorLines(const std::vector<DoctorLine> &lines) {
    std::string text;
    for (const DoctorLine &line : lines) {
        text += line.verdict == Verdict::ok     ? "ok    "
                : line.verdict == Verdict::note ? "--    "
                                                : "FAIL  ";
        text += line.item + ": " + line.detail;
        if (!line.todo.empty())
            text += "; to do: " + line.todo;
        text += '\n';
    }
    return text;
}

bool allWell(const std::vector<DoctorLine> &lines) {
    return std::none_of(lines.begin(), lines.end(),
                        [](const DoctorLine &line) { return line.verdict == Verdict::fail; });
}
