#include "cli/Bundle.h"

#include "cli/ConfigHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

QString executableDirectory() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// A missing file is an empty dictionary; a file that is there but unusable is reported,
// because otherwise a typo in the user's configuration would go unnoticed.
QJsonObject readDictionary(const QString &path) {
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("TesselMenu: cannot read %s: %s", qPrintable(path),
                 qPrintable(file.errorString()));
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        qWarning("TesselMenu: %s is not a JSON object (%s); ignoring it", qPrintable(path),
                 qPrintable(error.errorString()));
        return {};
    }
    return document.object();
}

} // namespace

Bundle Bundle::main() {
    return atResourceFolder(
        QDir::cleanPath(executableDirectory() + QStringLiteral("/../share/tesselmenu")));
}

Bundle Bundle::atResourceFolder(const QString &resources) {
    Bundle bundle;
    if (QFileInfo(resources).isDir())
        bundle.resourcePath = resources;

    bundle.info = readDictionary(resources + QStringLiteral("/Info.json"));
    const QJsonObject user = readDictionary(userConfigFolder() + QStringLiteral("/Info.json"));
    for (auto it = user.begin(); it != user.end(); ++it)
        bundle.info.insert(it.key(), it.value());
    return bundle;
}

QJsonValue Bundle::objectForInfoDictionaryKey(const QString &key) const {
    return info.value(key);
}
