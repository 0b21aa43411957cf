#include "cli/ExecutableFile.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

bool isExecutableFile(const QString &path) {
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return ::access(native.constData(), X_OK) == 0;
}
