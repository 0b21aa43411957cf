#include "state/DesktopNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

DesktopNotifier::DesktopNotifier(QDBusConnection connection)
    : m_connection(std::move(connection)) {}

void DesktopNotifier::notify(const QString &summary, const QString &body) {
    if (!m_connection.isConnected())
        return;
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("tesselmenu")}};
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default).
    message << QStringLiteral("TesselMenu") << 0u << QStringLiteral("tesselmenu") << summary << body
            << QStringList() << hints << -1;
    m_connection.send(message);
}
