#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// Keeps the utility to one instance per user: the first one listens on a local socket; a
// later launch finds it there, asks it to show its panel and exits.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // $XDG_RUNTIME_DIR/tesselmenu.socket, or a per-user name in the temporary folder where the
    // runtime folder is not set.
    static QString defaultServerName();

    explicit SingleInstance(QString serverName, QObject *parent = nullptr);

    // True when a running instance answered the request to show its panel.
    bool askRunningInstanceToShow();
    // Starts answering later launches; false when the socket cannot be set up, in which case
    // the utility runs on without the guard.
    bool listen();

signals:
    void showRequested();

private:
    void answer(QLocalSocket *socket);

    QString m_serverName;
    QLocalServer m_server;
};
