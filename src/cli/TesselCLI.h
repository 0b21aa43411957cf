#pragma once

#include "cli/BreakdownFormat.h"
#include "cli/Bundle.h"
#include "cli/LimitsFormat.h"
#include "cli/ReportFormats.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

class RunCanceller;
class UsageFileCache;

// Where the tessel tool is and which directories it works on, fixed at construction, and the
// commands the menu runs through it. A plain value: copies are independent and equal, and
// every command keeps its own copy for as long as it runs.
class TesselCLI {
public:
    static constexpr std::chrono::milliseconds defaultRunTimeout = std::chrono::seconds(600);

    explicit TesselCLI(const Bundle &bundle = Bundle::main());

    QString cliPath() const { return m_cliPath; }
    QString repoDir() const { return m_repoDir; }
    std::optional<QString> profileRepoDir() const { return m_profileRepoDir; }
    std::optional<QString> profileURLString() const { return m_profileURLString; }
    std::optional<QString> projectURLString() const { return m_projectURLString; }

    // The usage file the tool keeps: docs/usage.json inside repoDir.
    QString usageFilePath() const;

    QCoro::Task<> collect() const;
    QCoro::Task<QList<TodayReportRow>> todayReport() const;
    QCoro::Task<UsageReport> usageReport() const;
    QCoro::Task<> runDaily() const;
    QCoro::Task<> installSchedule(qint64 interval) const;
    QCoro::Task<> removeSchedule() const;
    QCoro::Task<bool> scheduleInstalled() const;
    // The usage limits the tool knows ("report", "limits", "--json"); absent when the tool
    // offers no such command (it exits with a non-zero status, as any tool may for a command
    // it does not know). Throws when the tool cannot be run, is killed or times out, or
    // prints something else than the document.
    QCoro::Task<std::optional<LimitsResponse>> limitsReport() const;
    // Where today's tokens went and the week's API-equivalent cost ("report", "week", "--by",
    // "tool,model", "--daily", "--json"); absent, like the limits, from a tool without the
    // command. Throws when the tool cannot be run, is killed or times out, or prints something
    // else than the document.
    QCoro::Task<std::optional<BreakdownReport>> breakdownReport() const;

    // A copy whose runs kill a child that is still running after `timeout`.
    TesselCLI withRunTimeout(std::chrono::milliseconds timeout) const;
    // A copy whose runs are stopped, child killed, when `canceller` is cancelled.
    TesselCLI withCanceller(std::shared_ptr<RunCanceller> canceller) const;

    // Equal when they name the same tool and folders.
    friend bool operator==(const TesselCLI &a, const TesselCLI &b);

private:
    // Runs the tool with `arguments` in repoDir and returns its whole standard output.
    static QCoro::Task<QString> run(TesselCLI cli, QStringList arguments);
    static QCoro::Task<> runDiscardingOutput(TesselCLI cli, QStringList arguments);
    static QCoro::Task<QList<TodayReportRow>> decodeTodayReport(TesselCLI cli);
    static QCoro::Task<bool> readScheduleStatus(TesselCLI cli);
    static QCoro::Task<std::optional<LimitsResponse>> readLimits(TesselCLI cli);
    static QCoro::Task<std::optional<BreakdownReport>> readBreakdown(TesselCLI cli);
    // Runs a report the tool may not offer: its standard output, or nothing when it exits
    // with a failure or prints nothing.
    static QCoro::Task<std::optional<QByteArray>>
    runOptionalReport(TesselCLI cli, QStringList arguments, QString what);

    QStringList withProfileRepoDir(QStringList arguments) const;

    QString m_cliPath;
    QString m_repoDir;
    std::optional<QString> m_profileRepoDir;
    std::optional<QString> m_profileURLString;
    std::optional<QString> m_projectURLString;
    std::chrono::milliseconds m_runTimeout = defaultRunTimeout;
    std::shared_ptr<RunCanceller> m_canceller;
    // Shared by all copies: the last usage file decoded.
    std::shared_ptr<UsageFileCache> m_usageCache;
};
