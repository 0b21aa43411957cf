#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray showRequest = "show\n";
const QByteArray acknowledgement = "ok\n";
constexpr int answerTimeoutMs = 3000;

// A local socket address for `path`; false when the path is too long for one.
bool socketAddress(const QString &path, sockaddr_un &address) {
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<size_t>(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    return true;
}

// The folder holding the socket exists, is a real folder of this user and nobody else may
// enter it; a folder someone else made first, or one open to others, is refused.
bool privateFolder(const QString &folder) {
    const QByteArray name = QFile::encodeName(folder);
    QDir().mkpath(QFileInfo(folder).absolutePath());
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 077) == 0;
}

// Waits up to the answer timeout for one line from `fd`.
void awaitAnswer(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    char buffer[16];
    while (::poll(&waiting, 1, answerTimeoutMs) > 0) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0 || std::memchr(buffer, '\n', static_cast<size_t>(got)))
            return;
    }
}

// The executable a process runs, as the kernel names it; a file replaced since it was started
// (an upgrade) still counts as the same program. Empty when it cannot be told.
QString executableOf(const QString &process) {
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(process));
    const QString replaced = QStringLiteral(" (deleted)");
    if (target.endsWith(replaced))
        target.chop(replaced.size());
    return target;
}

// True when the process runs this very program: the same file, or one of the same name put in
// its place since.
bool sameExecutable(pid_t pid) {
    const QByteArray other = QStringLiteral("/proc/%1/exe").arg(pid).toLatin1();
    struct stat mine {};
    struct stat theirs {};
    if (::stat("/proc/self/exe", &mine) == 0 && ::stat(other.constData(), &theirs) == 0 &&
        mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino)
        return true;
    return executableOf(QStringLiteral("self")) == executableOf(QString::number(pid));
}

} // namespace

ForeignInstanceError::ForeignInstanceError(std::optional<pid_t> pid, const QString &executable)
    : DescribedError(
          QStringLiteral("TesselMenu: the session bus name %1 is held by %2, which is not "
                         "TesselMenu; end it and start TesselMenu again")
              .arg(QString::fromLatin1(SingleInstance::busName),
                   (pid ? QStringLiteral("process %1").arg(*pid)
                        : QStringLiteral("a process of unknown id")) +
                       (executable.isEmpty() ? QString()
                                             : QStringLiteral(" (%1)").arg(executable)))) {}

QString SingleInstance::defaultServerName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists())
        return runtime + QStringLiteral("/tesselmenu.socket");
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/tesselmenu/instance.socket");
}

SingleInstance::SingleInstance(QString socketPath, QObject *parent)
    : QObject(parent), m_socketPath(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (m_listener >= 0) {
        ::close(m_listener);
        QFile::remove(m_socketPath);
    }
}

bool SingleInstance::askRunningInstanceToShow() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return askOverSocket();
    const QString name = QString::fromLatin1(busName);
    if (bus.interface()->registerService(name).value() ==
        QDBusConnectionInterface::ServiceRegistered) {
        m_ownsBusName = true;
        return false;
    }
    // A bus that refuses the name without anyone owning it is no guard: use the socket.
    if (!bus.interface()->isServiceRegistered(name).value())
        return askOverSocket();
    askOverBus(bus);
    return true;
}

void SingleInstance::askOverBus(QDBusConnection &bus) {
    const QString name = QString::fromLatin1(busName);
    const QDBusReply<uint> owner = bus.interface()->servicePid(name);
    const std::optional<pid_t> pid =
        owner.isValid() ? std::optional(static_cast<pid_t>(owner.value())) : std::nullopt;
    const QString executable = pid ? executableOf(QString::number(*pid)) : QString();
    // Another program is never sent the request: it might be waiting for just that.
    if (!executable.isEmpty() && !sameExecutable(*pid))
        throw ForeignInstanceError(pid, executable);

    const QDBusMessage call =
        QDBusMessage::createMethodCall(name, QStringLiteral("/"), name, QStringLiteral("show"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, answerTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return;
    // Without its executable to go by, only the answer tells this utility from another program.
    if (executable.isEmpty())
        throw ForeignInstanceError(pid, executable);
    // This program, still starting or too busy to answer in time: running all the same.
    qWarning("TesselMenu: already running as process %d, which did not answer (%s)",
             static_cast<int>(*pid), qPrintable(reply.errorMessage()));
}

bool SingleInstance::listen() {
    if (m_ownsBusName)
        return QDBusConnection::sessionBus().registerObject(QStringLiteral("/"), this,
                                                            QDBusConnection::ExportScriptableSlots);
    return listenOnSocket();
}

void SingleInstance::show() {
    emit showRequested();
}

bool SingleInstance::askOverSocket() {
    sockaddr_un address;
    if (!socketAddress(m_socketPath, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (connected) {
        // An instance that accepted the connection is running even if it is too busy to
        // answer in time; starting a second one would only add a second icon.
        if (::send(fd, showRequest.constData(), static_cast<size_t>(showRequest.size()),
                   MSG_NOSIGNAL) == showRequest.size())
            awaitAnswer(fd);
    }
    ::close(fd);
    return connected;
}

bool SingleInstance::listenOnSocket() {
    sockaddr_un address;
    const QString folder = QFileInfo(m_socketPath).absolutePath();
    if (!socketAddress(m_socketPath, address) || !privateFolder(folder)) {
        qWarning("TesselMenu: cannot keep a private socket at %s", qPrintable(m_socketPath));
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // Nobody answered a moment ago, so a socket file left there belongs to an instance that
    // ended without cleaning up.
    struct stat info {};
    if (::lstat(address.sun_path, &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(address.sun_path);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        qWarning("TesselMenu: cannot listen on %s: %s", qPrintable(m_socketPath),
                 std::strerror(errno));
        ::close(fd);
        return false;
    }
    m_listener = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::answerSocket);
    return true;
}

void SingleInstance::answerSocket() {
    for (int client; (client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        // One short request from a launch that is waiting for the answer; read it with a
        // bound so a silent client cannot hold the panel up.
        pollfd waiting{client, POLLIN, 0};
        char request[16] = {};
        const bool asked = ::poll(&waiting, 1, 1000) > 0 &&
                           ::read(client, request, sizeof request - 1) > 0 &&
                           QByteArray(request) == showRequest;
        if (asked)
            ::send(client, acknowledgement.constData(), static_cast<size_t>(acknowledgement.size()),
                   MSG_NOSIGNAL);
        ::close(client);
        if (asked)
            emit showRequested();
    }
}
