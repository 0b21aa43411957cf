#include "cli/ProcessRunner.h"

#include "cli/CaptureFile.h"
#include "cli/ChildProcess.h"
#include "cli/RunCanceller.h"

#include <QCoreApplication>
#include <QTimer>

#include <coroutine>
#include <csignal>

namespace {

using namespace std::chrono_literals;

// How often the output of a run that is still going is measured. A run that ends sooner (every
// run of a refresh, as a rule) is never looked at: its one wake-up stays the child's end.
constexpr auto outputWatchPeriod = 250ms;

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

    // Past the limit the in-memory files refuse further writes, but a child that ignores write
    // errors would run on until the time limit: it is stopped as soon as it is seen there.
    QTimer outputWatch;
    outputWatch.setTimerType(Qt::CoarseTimer);
    QObject::connect(&outputWatch, &QTimer::timeout, &outputWatch,
                     [&output, &errors, &outputWatch, &group, &finished] {
                         if (output.written() <= maxOutputBytes &&
                             errors.written() <= maxOutputBytes)
                             return;
                         finished.outputExceeded = true;
                         outputWatch.stop();
                         group.stop();
                     });

    deadline.start(request.timeout);
    outputWatch.start(outputWatchPeriod);
    if (request.canceller)
        request.canceller->attach(&group);

    co_await ChildExit(child);

    deadline.stop();
    outputWatch.stop();
    // Whatever the tool left behind in its group (a child holding the streams open) goes too.
    group.sweep();
    if (request.canceller) {
        request.canceller->detach(&group);
        finished.cancelled = request.canceller->isCancelled();
    }
    finished.outputExceeded = finished.outputExceeded || output.written() > maxOutputBytes ||
                              errors.written() > maxOutputBytes;
    finished.standardOutput = output.contents(maxOutputBytes);
    finished.standardError = errors.contents(maxOutputBytes);
    finished.exitedNormally = child.exitedNormally();
    finished.exitCode = child.exitCode();
    co_return finished;
}
