#pragma once

#include <QString>

// The user's configuration folder: $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or
// relative (the XDG base directory rule). Read afresh on every call.
QString userConfigHome();

// The utility's own folder inside it, which holds Info.json and the settings file.
QString userConfigFolder();
