#pragma once

#include "base/Environment.h"
#include "providers/ProviderDefinition.h"

#include <string>

// Amp ("amp"): the thread documents in threads/ of its data folder, AMP_DATA_DIR, else
// $XDG_DATA_HOME/amp, else ~/.local/share/amp (an AMP_DATA_DIR that already is the threads
// folder is taken as it is).
const ProviderDefinition &ampProvider();

std::string ampThreadsFolder(const Environment &environment);
