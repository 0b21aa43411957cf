#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

#include <sys/types.h>

class QObject;

// One child started with posix_spawn, leading a process group of its own, with standard
// output and standard error written into the given descriptors and standard input shared
// with this process. The spawn shares the GUI process's memory until the exec instead of
// copying it, so starting a run costs the calling thread a fraction of a millisecond whatever
// the size of this process. Nothing is read while it runs: its end is watched through a
// pidfd, so a run costs the event loop one wake-up, when the child exits.
class ChildProcess {
public:
    // Starts the child; throws ProcessLaunchError when it cannot be started (the program
    // cannot be run, or the working folder is missing).
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

    // Calls `onExit` from the event loop once the child has ended, never from inside this
    // call, and not at all when this object is gone first.
    void whenExited(std::function<void()> onExit);
    // Blocks for at most `limit` until the child has ended; true when it has.
    bool waitForExit(std::chrono::milliseconds limit);

private:
    // Collects the child's status if it has ended, without blocking.
    void reap();
    void watch();

    pid_t m_pid = 0;
    int m_pidDescriptor = -1;
    bool m_running = true;
    bool m_exitedNormally = false;
    int m_exitCode = 0;
    std::function<void()> m_onExit;
    // The exit watch: a notifier on the pidfd, or a polling timer where there is no pidfd.
    std::unique_ptr<QObject> m_watch;
};
