#include "cli/ProcessRunner.h"

#include "cli/CaptureFile.h"
#include "cli/ChildProcess.h"
#include "cli/DescribedError.h"
#include "cli/RunCanceller.h"

#include <QCoreApplication>
#include <QTimer>

#include <coroutine>
#include <csignal>

namespace {

// Suspends until the child is no longer running.
class ChildExit {
public:
    explicit ChildExit(ChildProcess &child) : m_child(child) {}

    bool await_ready() const { return !m_child.isRunning(); }
    void await_suspend(std::coroutine_handle<> waiting) {
        m_child.whenExited([waiting] { waiting.resume(); });
    }
    void await_resume() const {}

private:
    ChildProcess &m_child;
};

} // namespace

ProcessGroup::ProcessGroup(ChildProcess &child) : m_child(child) {
    m_escalation.setSingleShot(true);
    QObject::connect(&m_escalation, &QTimer::timeout, &m_escalation, [this] { signal(SIGKILL); });
}

void ProcessGroup::stop() {
    if (!m_child.isRunning())
        return;
    // SIGTERM first: the tool then stops its own children (git, hooks) before it ends.
    signal(SIGTERM);
    if (!m_escalation.isActive())
        m_escalation.start(stopGrace);
}

void ProcessGroup::stopNow() {
    if (!m_child.isRunning())
        return;
    signal(SIGTERM);
    if (!m_child.waitForExit(stopGrace))
        signal(SIGKILL);
}

void ProcessGroup::sweep() {
    m_escalation.stop();
    ::kill(-m_child.pid(), SIGKILL);
}

void ProcessGroup::signal(int number) {
    if (::kill(-m_child.pid(), number) != 0 && m_child.isRunning())
        ::kill(m_child.pid(), number);
}

QCoro::Task<FinishedProcess> runProcess(ProcessRequest request) {
    const CaptureFile output("tessel-stdout");
    const CaptureFile errors("tessel-stderr");
    ChildProcess child(request.program, request.arguments, request.workingDirectory,
                       output.descriptor(), errors.descriptor());
    ProcessGroup group(child);

    FinishedProcess finished;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::CoarseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &deadline, [&group, &finished] {
        finished.timedOut = true;
        group.stop();
    });
    // Quitting the utility leaves no tool running behind it.
    if (QCoreApplication::instance())
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &deadline,
                         [&group] { group.stopNow(); });

    deadline.start(request.timeout);
    if (request.canceller)
        request.canceller->attach(&group);

    co_await ChildExit(child);

    deadline.stop();
    // Whatever the tool left behind in its group (a child holding the streams open) goes too.
    group.sweep();
    if (request.canceller) {
        request.canceller->detach(&group);
        finished.cancelled = request.canceller->isCancelled();
    }
    if (const std::optional<QString> reason = child.launchFailure())
        throw ProcessLaunchError(request.program, *reason);
    finished.outputExceeded =
        output.written() > maxOutputBytes || errors.written() > maxOutputBytes;
    finished.standardOutput = output.contents(maxOutputBytes);
    finished.standardError = errors.contents(maxOutputBytes);
    finished.exitedNormally = child.exitedNormally();
    finished.exitCode = child.exitCode();
    co_return finished;
}
