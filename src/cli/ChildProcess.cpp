#include "cli/ChildProcess.h"

#include "cli/DescribedError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using namespace std::chrono_literals;

// Without a pidfd (kernels before 5.3) the child's end is looked for this often.
constexpr auto pollPeriod = 100ms;

// The signals whose handling or ignoring the child must not inherit.
constexpr int resetSignals[] = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD};

// A program named without a folder is looked up on PATH, as a shell would.
QByteArray executablePath(const QString &program) {
    if (program.contains(QLatin1Char('/')))
        return QFile::encodeName(program);
    return QFile::encodeName(QStandardPaths::findExecutable(program));
}

// What the child does between fork and exec: only async-signal-safe calls. A failure is
// reported through `report` and ends the child with 127.
[[noreturn]] void becomeTool(const char *path, char *const argv[], const char *directory,
                             int standardOutput, int standardError, int report) {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (const int number : resetSignals)
        sigaction(number, &standard, nullptr);
    // Its own process group, so that stopping it stops everything it started.
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    if (dup2(standardOutput, STDOUT_FILENO) >= 0 && dup2(standardError, STDERR_FILENO) >= 0 &&
        (directory == nullptr || chdir(directory) == 0) &&
        sigprocmask(SIG_SETMASK, &none, nullptr) == 0)
        execve(path, argv, environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = write(report, &error, sizeof error);
    _exit(127);
}

} // namespace

ChildProcess::ChildProcess(const QString &program, const QStringList &arguments,
                           const QString &workingDirectory, int standardOutput, int standardError)
    : m_workingDirectory(workingDirectory) {
    // Everything the child needs is made before the fork: after it, the child may only make
    // async-signal-safe calls.
    const QByteArray path = executablePath(program);
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const QByteArray directory = QFile::encodeName(workingDirectory);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        throw ProcessLaunchError(program, QString::fromLocal8Bit(std::strerror(errno)));
    // No handler of this process may run in the child before it has reset them.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    // A fork rather than a vfork-style spawn: the GUI thread goes straight back to its event
    // loop instead of sleeping until the exec, and a failed exec is learnt at the child's end.
    m_pid = fork();
    if (m_pid == 0)
        becomeTool(path.isEmpty() ? words.front().constData() : path.constData(), argv.data(),
                   directory.isEmpty() ? nullptr : directory.constData(), standardOutput,
                   standardError, report[1]);
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (m_pid < 0) {
        ::close(report[0]);
        throw ProcessLaunchError(program, QString::fromLocal8Bit(std::strerror(forkError)));
    }
    m_launchReport = report[0];
    // Set from both sides, so that the group exists before anyone signals it.
    setpgid(m_pid, m_pid);
    m_pidDescriptor = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
    if (m_pidDescriptor >= 0)
        fcntl(m_pidDescriptor, F_SETFD, FD_CLOEXEC);
}

ChildProcess::~ChildProcess() {
    m_watch.reset();
    if (m_running) {
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (m_pidDescriptor >= 0)
        ::close(m_pidDescriptor);
    if (m_launchReport >= 0)
        ::close(m_launchReport);
}

std::optional<QString> ChildProcess::launchFailure() const {
    if (m_launchError == 0)
        return std::nullopt;
    if (!m_workingDirectory.isEmpty() && !QFileInfo(m_workingDirectory).isDir())
        return QStringLiteral("工作目录 %1 不存在").arg(m_workingDirectory);
    return QString::fromLocal8Bit(std::strerror(m_launchError));
}

void ChildProcess::reap() {
    if (!m_running)
        return;
    int status = 0;
    pid_t result;
    do
        result = waitpid(m_pid, &status, WNOHANG);
    while (result < 0 && errno == EINTR);
    if (result == 0)
        return;
    m_running = false;
    // The child wrote errno here only when it could not become the tool; after a successful
    // exec the pipe was closed empty.
    int error = 0;
    if (read(m_launchReport, &error, sizeof error) == sizeof error)
        m_launchError = error;
    if (result < 0) {
        // Reaped by someone else (SIGCHLD ignored): the outcome is unknown, so not a success.
        m_exitedNormally = false;
        m_exitCode = 0;
    } else if (WIFEXITED(status)) {
        m_exitedNormally = true;
        m_exitCode = WEXITSTATUS(status);
    } else {
        m_exitedNormally = false;
        m_exitCode = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
}

void ChildProcess::whenExited(std::function<void()> onExit) {
    m_onExit = std::move(onExit);
    watch();
}

void ChildProcess::watch() {
    const auto check = [this] {
        reap();
        if (m_running)
            return;
        QObject *watch = m_watch.get();
        if (auto *notifier = qobject_cast<QSocketNotifier *>(watch))
            notifier->setEnabled(false);
        if (auto *timer = qobject_cast<QTimer *>(watch))
            timer->stop();
        // Called later and delivered to the application, not to the watch: the callback may
        // end the coroutine that owns this object, watch included. The guard drops the call
        // when this object went first.
        const QPointer<QObject> alive(watch);
        QObject *receiver = QCoreApplication::instance() ? QCoreApplication::instance() : watch;
        QMetaObject::invokeMethod(
            receiver,
            [this, alive] {
                if (alive)
                    std::exchange(m_onExit, nullptr)();
            },
            Qt::QueuedConnection);
    };
    if (m_pidDescriptor >= 0) {
        auto *notifier = new QSocketNotifier(m_pidDescriptor, QSocketNotifier::Read);
        m_watch.reset(notifier);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, check);
    } else {
        auto *timer = new QTimer;
        m_watch.reset(timer);
        timer->setInterval(pollPeriod);
        QObject::connect(timer, &QTimer::timeout, timer, check);
        timer->start();
    }
    // A child that ended before the watch began still reports through the event loop.
    check();
}

bool ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    reap();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (m_running) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (m_pidDescriptor >= 0) {
            pollfd ready{m_pidDescriptor, POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(left.count()));
        } else {
            ::usleep(static_cast<useconds_t>(std::min<qint64>(left.count(), 10) * 1000));
        }
        reap();
    }
    return true;
}
