#include "cli/Bundle.h"

#include "cli/ConfigHome.h"
#include "cli/RegularFile.h"

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

// Settings are a handful of short texts; a file far past that is not a dictionary anyone wrote.
constexpr qint64 maxDictionaryBytes = 1024 * 1024;

// A missing file is an empty dictionary; a file that is there but unusable is reported,
// because otherwise a typo in the user's configuration would go unnoticed. A FIFO, a device or
// an oversized file in its place is refused without being read.
QJsonObject readDictionary(const QString &path) {
    if (!QFileInfo::exists(path))
        return {};
    QByteArray bytes;
    try {
        bytes = RegularFile(path, maxDictionaryBytes).readAll();
    } catch (const FileReadError &error) {
        qWarning("TesselMenu: ignoring %s: %s", qPrintable(path), qPrintable(error.reason()));
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
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
