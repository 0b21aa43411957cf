#pragma once

#include "base/Environment.h"

#include <string>

// One user account on one host, as the repository tells machines apart.
struct MachineIdentity {
    std::string id;   // 32 hexadecimal digits, made once and kept
    std::string host; // the host name, a label only
};

// This account's identity, made on first use and kept in the user's data folder
// ($XDG_DATA_HOME/tessel/machine-id, by default ~/.local/share/tessel/machine-id). Throws
// FileError when it cannot be kept or the kept one is damaged: a new one would count this
// machine's days a second time.
MachineIdentity machineIdentity(const Environment &environment);
