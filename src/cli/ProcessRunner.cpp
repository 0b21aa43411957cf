#include "cli/ProcessRunner.h"

#include "cli/DescribedError.h"
#include "cli/RunCanceller.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <coroutine>

namespace {

// Suspends until the process is no longer running. The coroutine is resumed from the event
// loop rather than from inside QProcess's own signal, because the coroutine destroys the
// QProcess when it ends.
class ProcessExit {
public:
    explicit ProcessExit(QProcess &process) : m_process(process) {}

    bool await_ready() const { return m_process.state() == QProcess::NotRunning; }

    void await_suspend(std::coroutine_handle<> waiting) {
        auto *connection = new QMetaObject::Connection;
        *connection = QObject::connect(&m_process, &QProcess::stateChanged, &m_process,
                                       [this, waiting, connection](QProcess::ProcessState state) {
                                           if (state != QProcess::NotRunning)
                                               return;
                                           QObject::disconnect(*connection);
                                           delete connection;
                                           QMetaObject::invokeMethod(
                                               &m_process, [waiting] { waiting.resume(); },
                                               Qt::QueuedConnection);
                                       });
    }

    void await_resume() const {}

private:
    QProcess &m_process;
};

QString launchFailureReason(const QProcess &process, const QString &workingDirectory) {
    if (!workingDirectory.isEmpty() && !QFileInfo(workingDirectory).isDir())
        return QStringLiteral("工作目录 %1 不存在").arg(workingDirectory);
    return process.errorString();
}

} // namespace

QCoro::Task<FinishedProcess> runProcess(ProcessRequest request) {
    QProcess process;
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    process.setWorkingDirectory(request.workingDirectory);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);

    FinishedProcess finished;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::CoarseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &process, [&process, &finished] {
        finished.timedOut = true;
        process.kill();
    });

    process.start();
    deadline.start(request.timeout);
    if (request.canceller)
        request.canceller->attach(&process);

    co_await ProcessExit(process);

    deadline.stop();
    if (request.canceller) {
        request.canceller->detach(&process);
        finished.cancelled = request.canceller->isCancelled();
    }
    if (process.error() == QProcess::FailedToStart)
        throw ProcessLaunchError(request.program,
                                 launchFailureReason(process, request.workingDirectory));

    finished.standardOutput = process.readAllStandardOutput();
    finished.standardError = process.readAllStandardError();
    finished.exitedNormally = process.exitStatus() == QProcess::NormalExit;
    finished.exitCode = process.exitCode();
    co_return finished;
}
