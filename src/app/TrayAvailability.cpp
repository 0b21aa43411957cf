#include "app/TrayAvailability.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <memory>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int busTimeoutMs = 1000;

bool statusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, busTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

// The screen number in DISPLAY (":0.1" is screen 1); the tray's selection is per screen.
int displayScreen() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon);
    bool ok = false;
    const int screen = dot > 0 ? display.mid(dot + 1).toInt(&ok) : 0;
    return ok ? screen : 0;
}

bool xembedTrayPresent() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(displayScreen());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, name.size(), name.constData()), nullptr),
        &free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &free);
    return owner && owner->owner != XCB_NONE;
}

} // namespace

bool TrayAvailability::trayPresent() {
    return statusNotifierHostPresent() || xembedTrayPresent();
}

TrayAvailability::TrayAvailability(Probe probe, QObject *parent)
    : QObject(parent), m_probe(std::move(probe)) {
    connect(&m_timer, &QTimer::timeout, this, &TrayAvailability::probeOnce);
}

void TrayAvailability::watch(std::chrono::milliseconds interval,
                             std::chrono::milliseconds patience) {
    m_giveUpAt = std::chrono::steady_clock::now() + patience;
    m_timer.start(interval);
}

void TrayAvailability::probeOnce() {
    if (m_probe()) {
        m_timer.stop();
        emit trayAppeared();
    } else if (std::chrono::steady_clock::now() >= m_giveUpAt) {
        m_timer.stop();
    }
}
