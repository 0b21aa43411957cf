#include "app/ColorSchemeFollower.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorScheme = QStringLiteral("color-scheme");

} // namespace

ColorSchemeFollower::ColorSchemeFollower(QDBusConnection connection, QObject *parent)
    : QObject(parent), m_connection(std::move(connection)), m_platform(QApplication::palette()) {
    if (!m_connection.isConnected())
        return;
    m_connection.connect(portalService, portalPath, settingsInterface,
                         QStringLiteral("SettingChanged"), this,
                         SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                       QStringLiteral("Read"));
    read << appearance << colorScheme;
    // Not awaited: the utility starts in the platform's colours and turns when the answer
    // comes; where there is no portal nothing comes.
    auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                const QDBusMessage reply = call->reply();
                if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                    apply(schemeFrom(reply.arguments().constFirst()));
                call->deleteLater();
            });
}

ColorScheme ColorSchemeFollower::schemeFrom(const QVariant &value) {
    QVariant inner = value;
    // Read wraps the value in one variant more than the interface says (older portals).
    while (inner.canConvert<QDBusVariant>() &&
           inner.metaType() == QMetaType::fromType<QDBusVariant>())
        inner = inner.value<QDBusVariant>().variant();
    bool ok = false;
    const uint number = inner.toUInt(&ok);
    if (!ok)
        return ColorScheme::noPreference;
    switch (number) {
    case 1:
        return ColorScheme::dark;
    case 2:
        return ColorScheme::light;
    default:
        return ColorScheme::noPreference;
    }
}

void ColorSchemeFollower::settingChanged(const QString &group, const QString &key,
                                         const QDBusVariant &value) {
    if (group == appearance && key == colorScheme)
        apply(schemeFrom(value.variant()));
}

void ColorSchemeFollower::apply(ColorScheme scheme) {
    const QPalette palette = paletteForScheme(scheme, m_platform);
    if (palette != QApplication::palette())
        QApplication::setPalette(palette);
}
