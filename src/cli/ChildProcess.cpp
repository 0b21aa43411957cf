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
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using namespace std::chrono_literals;

// Without a pidfd (kernels before 5.3) the child's end is looked for this often.
constexpr auto pollPeriod = 100ms;

// A program named without a folder is looked up on PATH, as a shell would.
QByteArray executablePath(const QString &program) {
    if (program.contains(QLatin1Char('/')))
        return QFile::encodeName(program);
    return QFile::encodeName(QStandardPaths::findExecutable(program));
}

QString launchFailureReason(int error, const QString &workingDirectory) {
    if (!workingDirectory.isEmpty() && !QFileInfo(workingDirectory).isDir())
        return QStringLiteral("工作目录 %1 不存在").arg(workingDirectory);
    return QString::fromLocal8Bit(std::strerror(error));
}

// What every child gets: a process group of its own, so that stopping it stops everything it
// started; no blocked signals; and the default action for the signals this program handles or
// ignores (handled ones are reset by the spawn anyway, ignored ones only when named here).
class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attributes);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                    POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&m_attributes, 0);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int number : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
            sigaddset(&defaults, number);
        posix_spawnattr_setsigdefault(&m_attributes, &defaults);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;

    const posix_spawnattr_t *get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&m_actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    FileActions(const FileActions &) = delete;
    FileActions &operator=(const FileActions &) = delete;

    posix_spawn_file_actions_t *get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

} // namespace

ChildProcess::ChildProcess(const QString &program, const QStringList &arguments,
                           const QString &workingDirectory, int standardOutput, int standardError) {
    const QByteArray path = executablePath(program);
    if (path.isEmpty())
        throw ProcessLaunchError(program, launchFailureReason(ENOENT, workingDirectory));
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    FileActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), standardOutput, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), standardError, STDERR_FILENO);
    const QByteArray directory = QFile::encodeName(workingDirectory);
    if (!directory.isEmpty())
        posix_spawn_file_actions_addchdir_np(actions.get(), directory.constData());
    const SpawnAttributes attributes;

    // glibc spawns with clone(CLONE_VM | CLONE_VFORK): no copy of this process's page tables,
    // the caller waits only until the exec, and a failed chdir or exec comes back as the result
    // with the group already made.
    const int error = posix_spawn(&m_pid, path.constData(), actions.get(), attributes.get(),
                                  argv.data(), environ);
    if (error != 0)
        throw ProcessLaunchError(program, launchFailureReason(error, workingDirectory));
    // Opened close-on-exec by the kernel.
    m_pidDescriptor = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
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
