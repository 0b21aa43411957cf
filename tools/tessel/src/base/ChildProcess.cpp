#include "base/ChildProcess.h"

#include "base/Errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

class Pipe {
public:
    Pipe() {
        if (::pipe2(m_fds, O_CLOEXEC) != 0)
            throw ChildProcessError("cannot create a pipe: " + systemReason(errno));
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    void closeRead() { closeOne(m_fds[0]); }
    void closeWrite() { closeOne(m_fds[1]); }

private:
    static void closeOne(int &fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int m_fds[2] = {-1, -1};
};

std::vector<std::string> childEnvironment(const ChildOptions &options) {
    std::map<std::string, std::string> variables;
    for (char **entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto &[name, value] : options.environment) {
        if (value)
            variables[name] = *value;
        else
            variables.erase(name);
    }
    std::vector<std::string> flat;
    for (const auto &[name, value] : variables)
        flat.push_back(name + "=" + value);
    return flat;
}

// The one child running at a time (git and systemctl run one after another), for the
// signal handler below.
volatile sig_atomic_t runningGroup = 0;
constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void killChildThenEnd(int signal) {
    const pid_t group = runningGroup;
    if (group > 0)
        ::kill(-group, SIGKILL);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Installed once; a signal this process was told to ignore (nohup) stays ignored.
void installStopHandlers() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (const int signal : stopSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = killChildThenEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(signal, &action, nullptr);
    }
}

class BlockedStopSignals {
public:
    BlockedStopSignals() {
        sigset_t blocked;
        sigemptyset(&blocked);
        for (const int signal : stopSignals)
            sigaddset(&blocked, signal);
        ::sigprocmask(SIG_BLOCK, &blocked, &m_previous);
    }
    ~BlockedStopSignals() { ::sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    const sigset_t &previous() const { return m_previous; }

private:
    sigset_t m_previous;
};

using Clock = std::chrono::steady_clock;

// Milliseconds until `until`, rounded up, for poll().
int millisecondsUntil(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

bool hasExited(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// Reads both streams until they close and the child has exited, or until the deadline, at
// which the whole group is killed. Once the child has exited, whatever is left of its group
// (a background job holding the streams open) is killed too and the streams are read for a
// moment longer only.
void drain(pid_t pid, Pipe &out, Pipe &err, const ChildOptions &options, ChildOutcome &outcome) {
    const int exitWatch = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd fds[3] = {
        {out.readEnd(), POLLIN, 0}, {err.readEnd(), POLLIN, 0}, {exitWatch, POLLIN, 0}};
    std::string *targets[2] = {&outcome.standardOutput, &outcome.standardError};
    const bool limited = options.deadline.has_value();
    const Clock::time_point deadline =
        limited ? Clock::now() + *options.deadline : Clock::time_point::max();
    std::optional<Clock::time_point> lingerUntil;
    int open = 2;
    char buffer[16384];
    for (;;) {
        if (!lingerUntil && (fds[2].fd < 0 ? hasExited(pid) : fds[2].revents != 0)) {
            ::kill(-pid, SIGKILL);
            lingerUntil = Clock::now() + std::chrono::seconds(1);
        }
        if (lingerUntil && (open == 0 || Clock::now() >= *lingerUntil))
            break;
        if (!lingerUntil && !outcome.timedOut && limited && Clock::now() >= deadline) {
            outcome.timedOut = true;
            ::kill(-pid, SIGKILL);
        }
        int timeout = -1;
        if (lingerUntil)
            timeout = millisecondsUntil(*lingerUntil);
        else if (limited && !outcome.timedOut)
            timeout = millisecondsUntil(deadline);
        // Without a process descriptor the exit is noticed by looking now and then.
        if (exitWatch < 0 && !lingerUntil)
            timeout = timeout < 0 ? 20 : std::min(timeout, 20);
        if (lingerUntil)
            fds[2].fd = -1;
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR)
                continue;
            throw ChildProcessError("cannot read a child's output: " + systemReason(errno));
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                targets[i]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (exitWatch >= 0)
        ::close(exitWatch);
}

} // namespace

std::string ChildOutcome::message() const {
    std::string text = trimmed(standardError.empty() ? standardOutput : standardError);
    if (text.empty())
        text = trimmed(standardOutput);
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

ChildOutcome runChild(const std::vector<std::string> &arguments, const ChildOptions &options) {
    Pipe out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.writeEnd(), STDERR_FILENO);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    installStopHandlers();
    // Blocked until the child's group is recorded, so a stop cannot fall between the two.
    std::optional<BlockedStopSignals> blocked(std::in_place);
    // A new session has no controlling terminal: nothing in the child can open /dev/tty. It is
    // a process group of its own too, which is how everything it starts is stopped together.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setsigmask(&attributes, &blocked->previous());

    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables = childEnvironment(options);
    std::vector<char *> envp;
    for (std::string &variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        throw ChildProcessError("cannot run " + arguments.front() + ": " + systemReason(spawned));
    runningGroup = pid;
    blocked.reset();
    out.closeWrite();
    err.closeWrite();

    ChildOutcome outcome;
    try {
        drain(pid, out, err, options, outcome);
    } catch (...) {
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        runningGroup = 0;
        throw;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    runningGroup = 0;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

bool programOnPath(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}
