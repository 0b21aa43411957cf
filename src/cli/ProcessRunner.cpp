#include "cli/ProcessRunner.h"

#include "cli/DescribedError.h"
#include "cli/RunCanceller.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <coroutine>
#include <csignal>
#include <unistd.h>

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

ProcessGroup::ProcessGroup(QProcess &process) : m_process(process) {
    m_escalation.setSingleShot(true);
    QObject::connect(&m_escalation, &QTimer::timeout, &process, [this] { signal(SIGKILL); });
}

void ProcessGroup::noteStarted() {
    m_group = static_cast<pid_t>(m_process.processId());
}

void ProcessGroup::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    // SIGTERM first: the tool then stops its own children (git, hooks) before it ends.
    signal(SIGTERM);
    if (!m_escalation.isActive())
        m_escalation.start(stopGrace);
}

void ProcessGroup::stopNow() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    signal(SIGTERM);
    if (!m_process.waitForFinished(static_cast<int>(stopGrace.count())))
        signal(SIGKILL);
}

void ProcessGroup::sweep() {
    m_escalation.stop();
    if (m_group > 0)
        ::kill(-m_group, SIGKILL);
}

void ProcessGroup::signal(int number) {
    if (m_group <= 0)
        m_group = static_cast<pid_t>(m_process.processId());
    if (m_group <= 0 || ::kill(-m_group, number) != 0)
        m_process.kill();
}

QCoro::Task<FinishedProcess> runProcess(ProcessRequest request) {
    QProcess process;
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    process.setWorkingDirectory(request.workingDirectory);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    // A process group of its own, so that stopping it stops everything it started.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    ProcessGroup group(process);

    FinishedProcess finished;
    // Both streams are gathered as they arrive and capped: a runaway writer is stopped rather
    // than allowed to fill the memory.
    const auto gather = [&process, &finished, &group](QProcess::ProcessChannel channel) {
        QByteArray &target =
            channel == QProcess::StandardOutput ? finished.standardOutput : finished.standardError;
        process.setReadChannel(channel);
        target += process.readAll();
        if (target.size() > maxOutputBytes && !finished.outputExceeded) {
            finished.outputExceeded = true;
            group.stop();
        }
        if (finished.outputExceeded)
            target.truncate(maxOutputBytes);
    };
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [&gather] { gather(QProcess::StandardOutput); });
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [&gather] { gather(QProcess::StandardError); });

    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::CoarseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &process, [&group, &finished] {
        finished.timedOut = true;
        group.stop();
    });
    // Quitting the utility leaves no tool running behind it.
    if (QCoreApplication::instance())
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &process,
                         [&group] { group.stopNow(); });

    process.start();
    group.noteStarted();
    deadline.start(request.timeout);
    if (request.canceller)
        request.canceller->attach(&group);

    co_await ProcessExit(process);

    deadline.stop();
    // Whatever the tool left behind in its group (a child holding the streams open) goes too.
    group.sweep();
    if (request.canceller) {
        request.canceller->detach(&group);
        finished.cancelled = request.canceller->isCancelled();
    }
    if (process.error() == QProcess::FailedToStart)
        throw ProcessLaunchError(request.program,
                                 launchFailureReason(process, request.workingDirectory));

    gather(QProcess::StandardOutput);
    gather(QProcess::StandardError);
    finished.exitedNormally = process.exitStatus() == QProcess::NormalExit;
    finished.exitCode = process.exitCode();
    co_return finished;
}
