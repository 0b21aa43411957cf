#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace {

const QByteArray showRequest = "show\n";
const QByteArray acknowledgement = "ok\n";
constexpr int connectTimeoutMs = 1000;
constexpr int answerTimeoutMs = 3000;

} // namespace

QString SingleInstance::defaultServerName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists())
        return runtime + QStringLiteral("/tesselmenu.socket");
    return QStringLiteral("tesselmenu-%1").arg(getuid());
}

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent), m_serverName(std::move(serverName)) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

bool SingleInstance::askRunningInstanceToShow() {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(showRequest);
    socket.waitForBytesWritten(connectTimeoutMs);
    // An instance that accepted the connection is running even if it is too busy to answer
    // in time; starting a second one would only add a second icon.
    while (!socket.canReadLine() && socket.waitForReadyRead(answerTimeoutMs)) {
    }
    return true;
}

bool SingleInstance::listen() {
    if (m_server.listen(m_serverName))
        return true;
    // Nobody answered a moment ago, so a socket file left there belongs to an instance that
    // ended without cleaning up.
    if (m_server.serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(m_serverName);
        if (m_server.listen(m_serverName))
            return true;
    }
    qWarning("TesselMenu: cannot listen on %s: %s", qPrintable(m_serverName),
             qPrintable(m_server.errorString()));
    return false;
}

void SingleInstance::answer(QLocalSocket *socket) {
    while (socket->canReadLine()) {
        if (socket->readLine() == showRequest) {
            socket->write(acknowledgement);
            emit showRequested();
        }
    }
}
