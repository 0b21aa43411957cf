#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <sys/types.h>

class QObject;

// One child, leading a process group of its own, with standard output and standard error
// written into the given descriptors and standard input shared with this process. Nothing is
// read while it runs: its end is watched through a pidfd, so a run costs the event loop one
// wake-up, when the child exits.
class ChildProcess {
public:
    // Starts the child; throws ProcessLaunchError when it cannot even be forked. A program
    // that cannot be run is known once the child has ended: see launchFailure().
    ChildProcess(const QString &program, const QStringList &arguments,
                 const QString &workingDirectory, int standardOutput, int standardError);
    // A child still running is killed with its group and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t pid() const { return m_pid; }
    bool isRunning() const { return m_running; }
    bool exitedNormally() const { return m_exitedNormally; }
    // The exit code, or the number of the signal that ended the child.
    int exitCode() const { return m_exitCode; }
    // Once ended: why the program could not be run in the child, if it could not.
    std::optional<QString> launchFailure() const;

    // Calls `onExit` from the event loop once the child has ended, never from inside this
    // call, and not at all when this object is gone first.
    void whenExited(std::function<void()> onExit);
    // Blocks for at most `limit` until the child has ended; true when it has.
    bool waitForExit(std::chrono::milliseconds limit);

private:
    // Collects the child's status if it has ended, without blocking.
    void reap();
    void watch();

    QString m_workingDirectory;
    pid_t m_pid = 0;
    int m_pidDescriptor = -1;
    // The read end of the pipe on which the child reports a failed exec.
    int m_launchReport = -1;
    int m_launchError = 0;
    bool m_running = true;
    bool m_exitedNormally = false;
    int m_exitCode = 0;
    std::function<void()> m_onExit;
    // The exit watch: a notifier on the pidfd, or a polling timer where there is no pidfd.
    std::unique_ptr<QObject> m_watch;
};
