#include "cli/TesselCLI.h"

#include "cli/ExecutableFile.h"
#include "cli/ProcessRunner.h"
#include "cli/TesselCLIError.h"
#include "cli/UsageFile.h"
#include "cli/UsageFileCache.h"

#include <QDir>
#include <QJsonValue>
#include <QStandardPaths>

namespace {

// Only JSON strings count; a key holding any other type is treated as absent.
std::optional<QString> infoString(const Bundle &bundle, const QString &key) {
    const QJsonValue value = bundle.objectForInfoDictionaryKey(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// The tool is checked and run by one absolute path. A relative one is taken from the
// directory the utility started in (the tool runs in the repository directory, where it would
// mean something else); a bare name is first looked up on PATH, as a shell would.
QString absoluteToolPath(const QString &path) {
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    if (!path.contains(u'/')) {
        const QString found = QStandardPaths::findExecutable(path);
        if (!found.isEmpty())
            return found;
    }
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

// A run the utility had to stop failed, whatever the tool printed before.
void failIfStopped(const FinishedProcess &finished) {
    if (finished.timedOut)
        throw TesselCLIError::commandFailed(QStringLiteral("tessel 命令超时，已终止"));
    if (finished.outputExceeded)
        throw TesselCLIError::commandFailed(QStringLiteral("tessel 输出过多，已终止"));
}

QString firstOrEmpty(const QString &preferred, const QString &fallback) {
    return preferred.isEmpty() ? fallback : preferred;
}

} // namespace

TesselCLI::TesselCLI(const Bundle &bundle) : m_usageCache(std::make_shared<UsageFileCache>()) {
    const std::optional<QString> bundled =
        bundle.resourcePath ? std::optional(*bundle.resourcePath + QStringLiteral("/tessel"))
                            : std::nullopt;
    if (bundled && isExecutableFile(*bundled))
        m_cliPath = *bundled;
    else
        m_cliPath = absoluteToolPath(infoString(bundle, QStringLiteral("TesselCLIPath"))
                                         .value_or(QStringLiteral("/usr/local/bin/tessel")));

    if (const auto repo = infoString(bundle, QStringLiteral("TesselRepoDir")))
        m_repoDir = *repo;
    else
        m_repoDir = QDir::currentPath();
    m_profileRepoDir = infoString(bundle, QStringLiteral("TesselProfileRepoDir"));
    m_profileURLString = infoString(bundle, QStringLiteral("TesselProfileURL"));
    m_projectURLString = infoString(bundle, QStringLiteral("TesselProjectURL"));
}

bool operator==(const TesselCLI &a, const TesselCLI &b) {
    return a.m_cliPath == b.m_cliPath && a.m_repoDir == b.m_repoDir &&
           a.m_profileRepoDir == b.m_profileRepoDir &&
           a.m_profileURLString == b.m_profileURLString &&
           a.m_projectURLString == b.m_projectURLString;
}

QString TesselCLI::usageFilePath() const {
    return QDir(m_repoDir).filePath(QStringLiteral("docs/usage.json"));
}

TesselCLI TesselCLI::withRunTimeout(std::chrono::milliseconds timeout) const {
    TesselCLI copy = *this;
    copy.m_runTimeout = timeout;
    return copy;
}

TesselCLI TesselCLI::withCanceller(std::shared_ptr<RunCanceller> canceller) const {
    TesselCLI copy = *this;
    copy.m_canceller = std::move(canceller);
    return copy;
}

QCoro::Task<QString> TesselCLI::run(TesselCLI cli, QStringList arguments) {
    if (!isExecutableFile(cli.m_cliPath))
        throw TesselCLIError::missingCLI(cli.m_cliPath);

    // g++ 12 destroys temporaries of a co_await expression twice, so every awaited task is
    // created in a statement of its own.
    auto running = runProcess(ProcessRequest{cli.m_cliPath, std::move(arguments), cli.m_repoDir,
                                             cli.m_runTimeout, cli.m_canceller});
    const FinishedProcess finished = co_await running;

    failIfStopped(finished);
    const QString output = QString::fromUtf8(finished.standardOutput);
    if (finished.succeeded())
        co_return output;

    // The tool's own explanation is on standard error; a tool that reports its failures on
    // standard output is still understood. Emptiness is judged before trimming.
    const QString error = QString::fromUtf8(finished.standardError);
    throw TesselCLIError::commandFailed(firstOrEmpty(error, output).trimmed());
}

QCoro::Task<> TesselCLI::runDiscardingOutput(TesselCLI cli, QStringList arguments) {
    auto running = run(std::move(cli), std::move(arguments));
    co_await running;
}

QStringList TesselCLI::withProfileRepoDir(QStringList arguments) const {
    if (m_profileRepoDir)
        arguments << QStringLiteral("--profile-repo-dir") << *m_profileRepoDir;
    return arguments;
}

QCoro::Task<> TesselCLI::collect() const {
    return runDiscardingOutput(*this, {QStringLiteral("collect")});
}

QCoro::Task<QList<TodayReportRow>> TesselCLI::todayReport() const {
    return decodeTodayReport(*this);
}

QCoro::Task<QList<TodayReportRow>> TesselCLI::decodeTodayReport(TesselCLI cli) {
    auto running = run(std::move(cli), {QStringLiteral("report"), QStringLiteral("today"),
                                        QStringLiteral("--json")});
    const QString output = co_await running;
    try {
        co_return TodayReportResponse::decode(output.toUtf8()).rows;
    } catch (const std::exception &) {
        throw TesselCLIError::invalidResponse();
    }
}

QCoro::Task<UsageReport> TesselCLI::usageReport() const {
    return readUsageFile(usageFilePath(), m_usageCache);
}

QCoro::Task<> TesselCLI::runDaily() const {
    return runDiscardingOutput(*this,
                               withProfileRepoDir({QStringLiteral("run"), QStringLiteral("daily"),
                                                   QStringLiteral("--repo-dir"), m_repoDir}));
}

QCoro::Task<> TesselCLI::installSchedule(qint64 interval) const {
    return runDiscardingOutput(
        *this,
        withProfileRepoDir({QStringLiteral("schedule"), QStringLiteral("install"),
                            QStringLiteral("--repo-dir"), m_repoDir, QStringLiteral("--binary"),
                            m_cliPath, QStringLiteral("--interval"), QString::number(interval)}));
}

QCoro::Task<> TesselCLI::removeSchedule() const {
    return runDiscardingOutput(*this, {QStringLiteral("schedule"), QStringLiteral("remove")});
}

QCoro::Task<bool> TesselCLI::scheduleInstalled() const {
    return readScheduleStatus(*this);
}

QCoro::Task<bool> TesselCLI::readScheduleStatus(TesselCLI cli) {
    auto running = run(std::move(cli), {QStringLiteral("schedule"), QStringLiteral("status")});
    const QString output = co_await running;
    co_return output.contains(QStringLiteral("loaded: true"));
}

QCoro::Task<std::optional<LimitsResponse>> TesselCLI::limitsReport() const {
    return readLimits(*this);
}

QCoro::Task<std::optional<LimitsResponse>> TesselCLI::readLimits(TesselCLI cli) {
    if (!isExecutableFile(cli.m_cliPath))
        throw TesselCLIError::missingCLI(cli.m_cliPath);
    auto running = runProcess(ProcessRequest{
        cli.m_cliPath,
        {QStringLiteral("report"), QStringLiteral("limits"), QStringLiteral("--json")},
        cli.m_repoDir,
        cli.m_runTimeout,
        cli.m_canceller});
    const FinishedProcess finished = co_await running;
    failIfStopped(finished);
    if (!finished.exitedNormally || finished.cancelled)
        throw TesselCLIError::commandFailed(QStringLiteral("tessel 读取额度时异常退出"));
    // A tool without the command: nothing to show, and nothing wrong either.
    if (finished.exitCode != 0 || finished.standardOutput.trimmed().isEmpty())
        co_return std::nullopt;
    co_return LimitsResponse::decode(finished.standardOutput);
}

QCoro::Task<std::optional<QByteArray>>
TesselCLI::runOptionalReport(TesselCLI cli, QStringList arguments, QString what) {
    if (!isExecutableFile(cli.m_cliPath))
        throw TesselCLIError::missingCLI(cli.m_cliPath);
    auto running = runProcess(ProcessRequest{cli.m_cliPath, std::move(arguments), cli.m_repoDir,
                                             cli.m_runTimeout, cli.m_canceller});
    const FinishedProcess finished = co_await running;
    failIfStopped(finished);
    if (!finished.exitedNormally || finished.cancelled)
        throw TesselCLIError::commandFailed(QStringLiteral("tessel 读取%1时异常退出").arg(what));
    if (finished.exitCode != 0 || finished.standardOutput.trimmed().isEmpty())
        co_return std::nullopt;
    co_return finished.standardOutput;
}

QCoro::Task<std::optional<BreakdownReport>> TesselCLI::breakdownReport() const {
    return readBreakdown(*this);
}

QCoro::Task<std::optional<BreakdownReport>> TesselCLI::readBreakdown(TesselCLI cli) {
    auto running = runOptionalReport(std::move(cli),
                                     {QStringLiteral("report"), QStringLiteral("week"),
                                      QStringLiteral("--by"), QStringLiteral("tool,model"),
                                      QStringLiteral("--daily"), QStringLiteral("--json")},
                                     QStringLiteral("明细"));
    const std::optional<QByteArray> output = co_await running;
    if (!output)
        co_return std::nullopt;
    co_return BreakdownReport::decode(*output);
}
