#include "cli/UsageFile.h"

#include "cli/DescribedError.h"
#include "cli/RegularFile.h"
#include "cli/UsageFileCache.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

#include <sys/stat.h>
#include <variant>

namespace {

// Far more than the tool writes for every day from 1970 to now with ten providers (about
// 0.7 KiB a day at most); a file past it is damaged or hostile, and reading it would cost
// seconds and hundreds of megabytes.
constexpr qint64 maxUsageFileBytes = 32 * 1024 * 1024;

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
    try {
        RegularFile file(path, maxUsageFileBytes);
        // The identity of the file actually opened, so a rename that replaces it meanwhile
        // cannot pair the old content with the new identity.
        const FileIdentity identity = FileIdentity::of(file.info());
        if (cache) {
            if (std::optional<UsageReport> known = cache->find(path, identity))
                return *std::move(known);
        }
        UsageReport report = cache ? UsageReport::decode(file.readAll(), cache->last(path))
                                   : UsageReport::decode(file.readAll());
        if (cache)
            cache->store(path, identity, report);
        return report;
    } catch (const FileReadError &error) {
        throw UsageFileError(path, error.reason());
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
