#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

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

    // True when a running instance was found and asked to show its panel.
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
    bool askOverSocket();
    bool listenOnSocket();
    void answerSocket();

    QString m_socketPath;
    bool m_ownsBusName = false;
    int m_listener = -1;
    QSocketNotifier *m_notifier = nullptr;
};
