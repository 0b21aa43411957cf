#pragma once

#include <QDBusConnection>
#include <QString>

// Where the state object's desktop notifications go. The core sends none until the
// application installs a notifier, so tests and tools never pop anything up.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString &summary, const QString &body) = 0;
};

// The desktop's notification service (org.freedesktop.Notifications) on a D-Bus connection,
// the session bus by default. Calls never wait for the service: where there is none, the
// notification is simply not shown.
class DesktopNotifier : public Notifier {
public:
    explicit DesktopNotifier(QDBusConnection connection = QDBusConnection::sessionBus());
    void notify(const QString &summary, const QString &body) override;

private:
    QDBusConnection m_connection;
};
