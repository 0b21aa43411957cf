#pragma once

#include <QString>

#include <optional>

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

// The command an autostart entry should run for `executable`: its bare file name when that
// name, looked up on PATH, is this very file (as a desktop launcher writes it, so the entry
// keeps working after the package moves or upgrades the file), else its absolute path.
QString autostartCommand(const QString &executable);

// The value of `key` in the [Desktop Entry] group of the file at `entryPath`, with the
// string escapes undone; nothing when the file or the key is missing.
std::optional<QString> readDesktopEntryValue(const QString &entryPath, const QString &key);

// True when the entry at `entryPath` exists, is not switched off (Hidden=true or
// X-GNOME-Autostart-enabled=false) and its Exec starts `executable`.
bool autostartEntryStarts(const QString &entryPath, const QString &executable);
