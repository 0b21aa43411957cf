#include "sync/MachineMove.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileLock.h"
#include "history/MachineHistory.h"
#include "history/UsageHistory.h"
#include "sync/Git.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A version of a machine's file; a damaged one counts as empty, so that more is published
// rather than anything lost.
UsageHistory historyOf(const std::optional<std::string> &text) {
    if (!text)
        return {};
    try {
        return parseUsageHistory(*text);
    } catch (const HistoryFormatError &) {
        return {};
    }
}

std::string pendingPath(const MachineFiles &machines, const std::string &id) {
    return machines.files.machines + "/." + id + ".json.pending";
}

std::string topPath(const std::string &path) {
    return ":(top,literal)" + path;
}

void writeHistory(const MachineFiles &machines, const std::string &path,
                  const UsageHistory &history) {
    refuseLinks(machines.files.root, path);
    removeStaleTemporaries(path);
    writeFileAtomically(path, renderUsageHistory(history));
}

std::optional<std::string> workingText(const std::string &path) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error)))
        return std::nullopt;
    return readWholeFile(path, machineFileLimit, Links::refuse);
}

// The file of an id this machine used before, as committed (or gone, when never committed).
void restoreCommitted(const MachineFiles &machines, const std::string &id) {
    const std::string path = machineHistoryPath(machines.files, id);
    const auto committed = fileAt(machines.repository, "HEAD", machines.fromTop(id));
    const auto working = workingText(path);
    if (working == committed)
        return;
    if (committed) {
        runGit(machines.repository, {"checkout", "HEAD", "--", topPath(machines.fromTop(id))});
    } else {
        std::error_code error;
        fs::remove(path, error);
    }
}

// The pending file becomes the current one; days the current file lacks are taken from it.
void finishMove(const MachineFiles &machines, const MachineIdentity &machine) {
    const std::string pending = pendingPath(machines, machine.id);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(pending, error)))
        return;
    const std::string own = machineHistoryPath(machines.files, machine.id);
    if (const auto current = workingText(own)) {
        UsageHistory merged = historyOf(current);
        for (const auto &[day, figures] : historyOf(workingText(pending)).days)
            merged.days.try_emplace(day, figures);
        writeHistory(machines, own, merged);
        fs::remove(pending, error);
    } else {
        refuseLinks(machines.files.root, own);
        if (::rename(pending.c_str(), own.c_str()) != 0)
            throw FileError(own, systemReason(errno));
    }
}

// What is left of moves that never happened (stopped before the id was kept) and of ids given
// up before.
void removeStrays(const MachineFiles &machines, const MachineIdentity &machine) {
    std::error_code error;
    const std::string keepPending = "." + machine.id + ".json.pending";
    for (const auto &entry : fs::directory_iterator(machines.files.machines, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".") && name.ends_with(".json.pending") && name != keepPending)
            fs::remove(entry.path(), error);
    }
    const std::string inheritedPrefix =
        fs::path(machines.files.state).filename().string() + ".inherited-";
    const std::string keepInherited =
        fs::path(inheritedPath(machines.files, machine.id)).filename();
    for (const auto &entry : fs::directory_iterator(machines.files.docs, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(inheritedPrefix) && name != keepInherited)
            fs::remove(entry.path(), error);
    }
}

} // namespace

MachineFiles::MachineFiles(const std::string &repository, const std::string &top)
    : repository(repository), files(repository) {
    const fs::path relative =
        fs::relative(fs::weakly_canonical(repository), fs::weakly_canonical(top));
    machinesFromTop = (relative == "." ? fs::path() : relative).generic_string();
    if (!machinesFromTop.empty())
        machinesFromTop += '/';
    machinesFromTop += "docs/machines/";
}

std::string MachineFiles::fromTop(const std::string &machineId) const {
    return machinesFromTop + machineId + ".json";
}

namespace {

// What this machine counted under `from` goes to `to`: the part that stays published in
// `from`'s file (as this clone last committed it) is inherited, the rest is written to `path`.
void carryOver(const MachineFiles &machines, const std::string &from, const std::string &to,
               const std::string &host, const std::string &path) {
    const UsageHistory left =
        historyOf(fileAt(machines.repository, "HEAD", machines.fromTop(from)));
    const UsageHistory inheritedBefore = readInherited(machines.files, from);
    const UsageHistory counted = addedHistories(
        historyOf(workingText(machineHistoryPath(machines.files, from))), inheritedBefore);
    const UsageHistory inherited = addedHistories(inheritedBefore, left);
    writeInherited(machines.files, to, inherited);
    UsageHistory own = subtractedHistory(counted, inherited);
    own.host = host;
    writeHistory(machines, path, own);
}

} // namespace

void settleMoves(const MachineFiles &machines, const MachineIdentity &machine) {
    machines.files.refuseLinks();
    const FileLock lock(machines.files.lock, 120);
    finishMove(machines, machine);
    // A repository this machine published to under its earlier id, that has not seen the
    // move yet (the move happened in another of its repositories).
    const std::string own = machineHistoryPath(machines.files, machine.id);
    std::error_code error;
    if (!machine.previous.empty() && !fs::exists(fs::symlink_status(own, error))) {
        const std::string &before = machine.previous.back();
        if (fs::exists(fs::symlink_status(machineHistoryPath(machines.files, before), error)))
            carryOver(machines, before, machine.id, machine.host, own);
    }
    for (const std::string &id : machine.previous)
        restoreCommitted(machines, id);
    removeStrays(machines, machine);
}

MachineIdentity moveToNewId(const MachineFiles &machines, const Environment &environment,
                            const MachineIdentity &machine) {
    machines.files.refuseLinks();
    const FileLock lock(machines.files.lock, 120);
    // Both files are written before the new id is kept, the machine's own under a name the sum
    // passes over, so a move stopped at any point either never happened or is ended by
    // settleMoves().
    const std::string id = newMachineId();
    carryOver(machines, machine.id, id, machine.host, pendingPath(machines, id));
    const MachineIdentity moved = takeNewMachineId(environment, machine, id);
    finishMove(machines, moved);
    restoreCommitted(machines, machine.id);
    removeStrays(machines, moved);
    return moved;
}

std::optional<std::string> ownFileWrittenElsewhere(const MachineFiles &machines,
                                                   const MachineIdentity &machine,
                                                   const std::string &theirs) {
    const std::string path = machines.fromTop(machine.id);
    const auto changed = changedSinceParting(machines.repository, theirs, path);
    if (changed == false)
        return std::nullopt;
    const auto theirText = fileAt(machines.repository, theirs, path);
    // Without a common history, whatever they have of this file another machine wrote.
    if (!changed && !theirText)
        return std::nullopt;
    if (!theirText)
        return "docs/machines/" + machine.id +
               ".json, this machine's own file, was removed by "
               "another push";
    const UsageHistory their = historyOf(theirText);
    return "docs/machines/" + machine.id + ".json, this machine's own file, is written by " +
           (their.host.empty() || their.host == machine.host
                ? std::string("another machine")
                : "the machine \"" + their.host.substr(0, 64) + "\"") +
           " as well: a copied home folder or a cloned system shares its machine id";
}

bool isMachineFile(const MachineFiles &machines, const std::string &path) {
    const fs::path file(path);
    return file.extension() == ".json" && !file.filename().string().starts_with(".") &&
           file.parent_path().generic_string() + "/" == machines.machinesFromTop;
}

bool settleMachineConflict(const MachineFiles &machines, const Environment &environment,
                           MachineIdentity &machine, const std::string &path) {
    if (!isMachineFile(machines, path))
        return false;
    const std::string id = fs::path(path).stem().string();
    machines.files.refuseLinks();
    const FileLock lock(machines.files.lock, 120);
    if (id == machine.id) {
        // Found only now that another machine writes this one's file: move to a new id that
        // inherits all of this side's version, then settle the file as an earlier id's.
        const std::string newId = newMachineId();
        writeInherited(machines.files, newId,
                       addedHistories(readInherited(machines.files, machine.id),
                                      historyOf(fileAt(machines.repository, ":2", path))));
        UsageHistory empty;
        empty.host = machine.host;
        writeHistory(machines, pendingPath(machines, newId), empty);
        machine = takeNewMachineId(environment, machine, newId);
        finishMove(machines, machine);
        removeStrays(machines, machine);
    }
    if (std::find(machine.previous.begin(), machine.previous.end(), id) != machine.previous.end()) {
        // This side's version holds what this machine added since the sides parted: that
        // leaves the inherited part and goes into the current file.
        const UsageHistory base = historyOf(fileAt(machines.repository, ":1", path));
        const UsageHistory ours = historyOf(fileAt(machines.repository, ":2", path));
        const UsageHistory inherited = readInherited(machines.files, machine.id);
        const std::string ownPath = machineHistoryPath(machines.files, machine.id);
        const UsageHistory counted = addedHistories(historyOf(workingText(ownPath)), inherited);
        const UsageHistory settled = subtractedHistory(addedHistories(inherited, base), ours);
        UsageHistory own = subtractedHistory(counted, settled);
        own.host = machine.host;
        // The file first: stopped in between, a day is published twice rather than lost.
        writeHistory(machines, ownPath, own);
        writeInherited(machines.files, machine.id, settled);
    }
    if (fileAt(machines.repository, ":3", path)) {
        runGit(machines.repository, {"checkout", "--theirs", "--", topPath(path)});
        runGit(machines.repository, {"add", "--force", "--", topPath(path)});
    } else {
        runGit(machines.repository, {"rm", "--quiet", "--force", "--", topPath(path)});
    }
    return true;
}
