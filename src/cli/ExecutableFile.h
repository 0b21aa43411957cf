#pragma once

#include <QString>

// True when `path` names a regular file (after following links) that this user may execute.
// A directory, even a searchable one, is not an executable file.
bool isExecutableFile(const QString &path);
