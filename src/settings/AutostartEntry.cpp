#include "settings/AutostartEntry.h"

#include "cli/DescribedError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

class AutostartError : public DescribedError {
public:
    using DescribedError::DescribedError;
};

// Desktop entry string values escape backslashes and line breaks.
QString escapeString(const QString &value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

QString desktopEntryExec(const QString &program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes =
        std::any_of(program.begin(), program.end(), [](QChar c) { return reserved.contains(c); });
    // Field codes start with '%', so a literal percent sign is doubled everywhere.
    QString argument = program;
    argument.replace(u'%', QStringLiteral("%%"));
    if (needsQuotes) {
        QString quoted;
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        argument = u'"' + quoted + u'"';
    }
    return escapeString(argument);
}

void writeAutostartEntry(const QString &entryPath, const QString &executable,
                         const QString &workingDirectory) {
    if (!QDir().mkpath(QFileInfo(entryPath).absolutePath()))
        throw AutostartError(
            QStringLiteral("无法创建文件夹 %1").arg(QFileInfo(entryPath).absolutePath()));

    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=TesselMenu\n"
                                         "Comment=AI coding tools token usage in the tray\n"
                                         "Exec=%1\n"
                                         "Path=%2\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(desktopEntryExec(executable), escapeString(workingDirectory));
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit())
        throw AutostartError(QStringLiteral("无法写入 %1：%2").arg(entryPath, file.errorString()));
}

void removeAutostartEntry(const QString &entryPath) {
    QFile file(entryPath);
    if (file.exists() && !file.remove())
        throw AutostartError(QStringLiteral("无法删除 %1：%2").arg(entryPath, file.errorString()));
}
