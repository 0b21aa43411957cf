#pragma once

#include "base/Environment.h"

#include <optional>
#include <string>
#include <vector>

// One user account on one host, as the repository tells machines apart.
struct MachineIdentity {
    std::string id;   // 32 hexadecimal digits, made once and kept
    std::string host; // the host name, a label only
    // The ids this account published under before, oldest first: their files in a repository
    // are no longer its own.
    std::vector<std::string> previous;
    // False when the id was made on another host (the home folder was copied, or the whole
    // system cloned): then another machine may publish under it too, and the next sync takes
    // a new one.
    bool madeHere = true;
};

// Where the id is kept: $XDG_DATA_HOME/tessel/machine-id (by default
// ~/.local/share/tessel/machine-id). Next to the id it records a digest of the host's
// /etc/machine-id and name, which is how a copy is told from the original.
std::string machineIdPath(const Environment &environment);

// This account's identity, made on first use. Throws FileError when it cannot be kept or the
// kept one is damaged: a new one would count this machine's days a second time.
MachineIdentity machineIdentity(const Environment &environment);
// The kept identity without making or changing anything; nullopt when there is none yet.
std::optional<MachineIdentity> storedMachineIdentity(const Environment &environment);
// A new id, 32 random hexadecimal digits.
std::string newMachineId();
// Keeps `id`, made for this host, in place of `current`'s id, which goes to the end of the
// previous ones.
MachineIdentity takeNewMachineId(const Environment &environment, const MachineIdentity &current,
                                 const std::string &id);
