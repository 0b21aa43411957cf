#pragma once

#include "ui/Colors.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QPalette>
#include <QVariant>

// Follows the desktop's light or dark preference where the settings portal states it
// (org.freedesktop.appearance color-scheme), which Qt 6.4 does not read: GNOME's dark style
// reaches the utility only this way. Elsewhere the platform's palette stands.
class ColorSchemeFollower : public QObject {
    Q_OBJECT

public:
    explicit ColorSchemeFollower(QDBusConnection connection = QDBusConnection::sessionBus(),
                                 QObject *parent = nullptr);

    // The portal's value (a number, possibly wrapped in variants) as a preference.
    static ColorScheme schemeFrom(const QVariant &value);

private slots:
    void settingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void apply(ColorScheme scheme);

    QDBusConnection m_connection;
    QPalette m_platform;
};
