#pragma once

#include "cli/DescribedError.h"

#include <QObject>
#include <QString>

#include <optional>

#include <sys/types.h>

class QDBusConnection;
class QSocketNotifier;

// The session bus name is held by a process that is not this utility: another program, or one
// that does not answer as this utility does. The description names the process.
class ForeignInstanceError : public DescribedError {
public:
    ForeignInstanceError(std::optional<pid_t> pid, const QString &executable);
};

// Keeps the utility to one instance per user session. The first instance owns a well-known
// name on the session bus; a later launch finds the name taken, asks its owner to show the
// panel and exits. Without a session bus the same is done over a local socket in a folder only
// the user may enter.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.TesselMenu")

public:
    static constexpr const char *busName = "io.github.TesselMenu";

    // The fallback socket: $XDG_RUNTIME_DIR/tesselmenu.socket, or else
    // tesselmenu/instance.socket in the user's cache folder ($XDG_CACHE_HOME, ~/.cache).
    static QString defaultServerName();

    explicit SingleInstance(QString socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when a running instance was found and asked to show its panel. Throws
    // ForeignInstanceError when the bus name is held by anything else: its executable is
    // another file than this one's, or it does not take the request to show.
    bool askRunningInstanceToShow();
    // Starts answering later launches; false when neither the bus name nor the socket can be
    // had, in which case the utility runs on without the guard.
    bool listen();

public slots:
    // Called by a later launch, over the bus.
    Q_SCRIPTABLE void show();

signals:
    void showRequested();

private:
    void askOverBus(QDBusConnection &bus);
    bool askOverSocket();
    bool listenOnSocket();
    void answerSocket();

    QString m_socketPath;
    bool m_ownsBusName = false;
    int m_listener = -1;
    QSocketNotifier *m_notifier = nullptr;
};
