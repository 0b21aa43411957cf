#include "cli/ConfigHome.h"

#include <QDir>

QString userConfigHome() {
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString userConfigFolder() {
    return userConfigHome() + QStringLiteral("/TesselMenu");
}
