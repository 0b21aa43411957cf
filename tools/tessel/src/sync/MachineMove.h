#pragma once

#include "base/Environment.h"
#include "history/MachineId.h"
#include "history/RepositoryFiles.h"

#include <optional>
#include <string>

// A copied home folder or a cloned system carries the machine id along, and then two hosts
// publish the same docs/machines/<id>.json. The machine that notices (its id file was made on
// another host, or the remote changed its file) moves to a new id: the old file is left to the
// other host, this machine's file under the new id holds what it counted beyond what stays
// published in the old one, and that part is remembered (readInherited) so it is never
// published twice. Every day of both histories is kept.

// This machine's files in one repository, with git's view of where they are.
struct MachineFiles {
    std::string repository; // the folder given
    RepositoryFiles files;
    // docs/machines/ relative to the repository's top, as git names paths.
    std::string machinesFromTop;

    MachineFiles(const std::string &repository, const std::string &top);
    std::string fromTop(const std::string &machineId) const;
};

// Ends what a move to a new id that was stopped midway left, and puts the files of ids this
// machine used before back as committed: they are another host's now.
void settleMoves(const MachineFiles &machines, const MachineIdentity &machine);

// Moves this machine to a new id and returns it.
MachineIdentity moveToNewId(const MachineFiles &machines, const Environment &environment,
                            const MachineIdentity &machine);

// Why the fetched `theirs` shows that another machine writes this machine's own file (it
// changed it since the two sides parted), or nullopt when it does not.
std::optional<std::string> ownFileWrittenElsewhere(const MachineFiles &machines,
                                                   const MachineIdentity &machine,
                                                   const std::string &theirs);

// Whether `path`, relative to the top, is a machine's file.
bool isMachineFile(const MachineFiles &machines, const std::string &path);

// Settles a conflict of the merge under way in a machine's file (`path` relative to the top):
// the other side's version is taken, and where the file was this machine's before, what this
// side added to it since the sides parted moves into the current file. False when `path` is
// not a machine's file.
bool settleMachineConflict(const MachineFiles &machines, const Environment &environment,
                           MachineIdentity &machine, const std::string &path);
