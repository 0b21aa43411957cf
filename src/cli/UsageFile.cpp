#include "cli/UsageFile.h"

#include "cli/DescribedError.h"
#include "cli/UsageFileCache.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

namespace {

QString openFailureReason(int error) {
    if (error == ENOENT)
        return QStringLiteral("文件不存在");
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opened without waiting, so a FIFO or device put in the file's place cannot stall the
// refresh, and read only when it is a regular file.
int openRegularFile(const QString &path, struct stat &info) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw UsageFileError(path, openFailureReason(errno));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(fd);
        throw UsageFileError(path, folder ? QStringLiteral("这是一个文件夹，不是文件")
                                          : QStringLiteral("这不是普通文件"));
    }
    return fd;
}

using Outcome = std::variant<UsageReport, UsageFileError>;

Outcome tryLoad(const QString &path, const std::shared_ptr<UsageFileCache> &cache) {
    try {
        return loadUsageFile(path, cache.get());
    } catch (const UsageFileError &error) {
        return error;
    }
}

} // namespace

UsageReport loadUsageFile(const QString &path, UsageFileCache *cache) {
    struct stat info {};
    const int fd = openRegularFile(path, info);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw UsageFileError(path, file.errorString());
    }
    // The identity of the file actually opened, so a rename that replaces it meanwhile
    // cannot pair the old content with the new identity.
    if (cache) {
        if (std::optional<UsageReport> known = cache->find(path, FileIdentity::of(info)))
            return *std::move(known);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw UsageFileError(path, file.errorString());
    try {
        UsageReport report = UsageReport::decode(bytes);
        if (cache)
            cache->store(path, FileIdentity::of(info), report);
        return report;
    } catch (const ReportFormatError &error) {
        throw UsageFileError(path, QStringLiteral("内容无法解析：") + error.description());
    }
}

QCoro::Task<UsageReport> readUsageFile(QString path, std::shared_ptr<UsageFileCache> cache) {
    // A file found as it was last read needs no worker: a quiet refresh then costs a stat,
    // not a thread's wake-up.
    if (cache) {
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)) {
            if (std::optional<UsageReport> known = cache->find(path, FileIdentity::of(info)))
                co_return *std::move(known);
        }
    }
    // Exceptions do not cross QtConcurrent unless they are QExceptions, so the worker hands
    // back either the report or the error and the error is thrown here.
    QFuture<Outcome> loading = QtConcurrent::run(tryLoad, path, cache);
    Outcome outcome = co_await loading;
    if (auto *error = std::get_if<UsageFileError>(&outcome))
        throw *error;
    co_return std::get<UsageReport>(std::move(outcome));
}
