#pragma once

#include <QString>

// The XDG autostart entry that starts the utility at login: a desktop entry file whose Exec
// line runs `executable` and whose Path is the folder it starts in. Both throw
// AutostartError when the file cannot be written or removed.
void writeAutostartEntry(const QString &entryPath, const QString &executable,
                         const QString &workingDirectory);
// Removing an entry that does not exist succeeds.
void removeAutostartEntry(const QString &entryPath);

// The Exec value that runs `program` with no arguments, quoted and escaped as desktop entries
// require when the path holds spaces or other reserved characters.
QString desktopEntryExec(const QString &program);
