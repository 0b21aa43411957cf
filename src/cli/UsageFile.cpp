#include "cli/UsageFile.h"

#include "cli/DescribedError.h"
#include "cli/UsageFileCache.h"

#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <variant>

namespace {

QString readFailureReason(const QFile &file) {
    const QFileInfo info(file.fileName());
    if (!info.exists())
        return QStringLiteral("文件不存在");
    if (info.isDir())
        return QStringLiteral("这是一个文件夹，不是文件");
    return file.errorString();
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(path).isDir())
        throw UsageFileError(path, readFailureReason(file));
    // The identity of the file actually opened, so a rename that replaces it meanwhile
    // cannot pair the old content with the new identity.
    struct stat info {};
    const bool identified = cache && ::fstat(file.handle(), &info) == 0;
    if (identified) {
        if (std::optional<UsageReport> known = cache->find(path, FileIdentity::of(info)))
            return *std::move(known);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw UsageFileError(path, file.errorString());
    try {
        UsageReport report = UsageReport::decode(bytes);
        if (identified)
            cache->store(path, FileIdentity::of(info), report);
        return report;
    } catch (const ReportFormatError &error) {
        throw UsageFileError(path, QStringLiteral("内容无法解析：") + error.description());
    }
}

QCoro::Task<UsageReport> readUsageFile(QString path, std::shared_ptr<UsageFileCache> cache) {
    // Exceptions do not cross QtConcurrent unless they are QExceptions, so the worker hands
    // back either the report or the error and the error is thrown here.
    QFuture<Outcome> loading = QtConcurrent::run(tryLoad, path, cache);
    Outcome outcome = co_await loading;
    if (auto *error = std::get_if<UsageFileError>(&outcome))
        throw *error;
    co_return std::get<UsageReport>(std::move(outcome));
}
