#include "ChildProcess.h"

#include "Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
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

void drain(Pipe &out, Pipe &err, ChildOutcome &outcome) {
    pollfd fds[2] = {{out.readEnd(), POLLIN, 0}, {err.readEnd(), POLLIN, 0}};
    std::string *targets[2] = {&outcome.standardOutput, &outcome.standardError};
    int open = 2;
    char buffer[16384];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
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
    // A new session has no controlling terminal: nothing in the child can open /dev/tty.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

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
    out.closeWrite();
    err.closeWrite();

    ChildOutcome outcome;
    drain(out, err, outcome);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
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
