#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>

#include <QTimer>

class ChildProcess;
class RunCanceller;

// The process group of a running child, which the child leads. Stopping sends SIGTERM to the
// whole group, then SIGKILL to what is still there a moment later.
class ProcessGroup {
public:
    static constexpr std::chrono::milliseconds stopGrace{1000};

    explicit ProcessGroup(ChildProcess &child);
    ProcessGroup(const ProcessGroup &) = delete;
    ProcessGroup &operator=(const ProcessGroup &) = delete;

    void stop();
    // The same, waiting for the child on the spot: for when the event loop is ending.
    void stopNow();
    // Kills what is left of the group once the child has ended.
    void sweep();

private:
    void signal(int number);

    ChildProcess &m_child;
    QTimer m_escalation;
};

// One child process to run: no shell, its own working directory, the parent's environment
// and standard input, standard output and standard error captured separately.
struct ProcessRequest {
    QString program;
    QStringList arguments;
    QString workingDirectory;
    // Past this the child is killed and the run reports `timedOut`.
    std::chrono::milliseconds timeout;
    std::shared_ptr<RunCanceller> canceller;
};

struct FinishedProcess {
    QByteArray standardOutput;
    QByteArray standardError;
    bool exitedNormally = false; // false when ended by a signal
    int exitCode = 0;
    bool timedOut = false;
    bool cancelled = false;
    bool outputExceeded = false; // a stream passed maxOutputBytes

    bool succeeded() const {
        return exitedNormally && exitCode == 0 && !timedOut && !cancelled && !outputExceeded;
    }
};

// The most either stream may carry; a child that writes more is stopped with its group and
// the run reports `outputExceeded`.
inline constexpr qsizetype maxOutputBytes = 16 * 1024 * 1024;

// Starts the child in a process group of its own and resumes once it has exited, with both
// streams read. The GUI thread is never blocked, and the child never waits for it: both
// streams go to in-memory files that are read once the child has ended, so a run that ends
// within a fraction of a second wakes the event loop once; a longer one has its output
// measured a few times a second. The time limit, the output limit, the canceller and
// quitting the application stop the whole group. Whatever is left of the group when the child
// ends is killed. Throws ProcessLaunchError when the child cannot be started.
QCoro::Task<FinishedProcess> runProcess(ProcessRequest request);
