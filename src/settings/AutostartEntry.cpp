#include "settings/AutostartEntry.h"

#include "cli/DescribedError.h"
#include "cli/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

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

// Undoes escapeString() and the "\\s" escape other writers use for a space.
QString unescapeString(const QString &value) {
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u'n')
            plain += u'\n';
        else if (next == u'r')
            plain += u'\r';
        else if (next == u't')
            plain += u'\t';
        else if (next == u's')
            plain += u' ';
        else
            plain += next;
    }
    return plain;
}

// The program an Exec value runs: its first argument, unquoted, "%%" made "%" again.
QString execProgram(const QString &exec) {
    QString program;
    qsizetype i = 0;
    if (exec.startsWith(u'"')) {
        for (i = 1; i < exec.size() && exec[i] != u'"'; ++i) {
            if (exec[i] == u'\\' && i + 1 < exec.size())
                ++i;
            program += exec[i];
        }
    } else {
        program = exec.section(u' ', 0, 0);
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

QString canonical(const QString &path) {
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

QString autostartCommand(const QString &executable) {
    const QString name = QFileInfo(executable).fileName();
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty() && !canonical(found).isEmpty() &&
        canonical(found) == canonical(executable))
        return name;
    return QFileInfo(executable).absoluteFilePath();
}

std::optional<QString> readDesktopEntryValue(const QString &entryPath, const QString &key) {
    // A desktop entry is a few lines; anything else in its place (a FIFO, a device, a huge
    // file) is no entry of ours and is not waited on.
    QByteArray contents;
    try {
        contents = RegularFile(entryPath, 1024 * 1024).readAll();
    } catch (const FileReadError &) {
        return std::nullopt;
    }
    bool inEntry = false;
    const QString prefix = key + u'=';
    for (const QString &line : QString::fromUtf8(contents).remove(u'\r').split(u'\n')) {
        if (line.startsWith(u'['))
            inEntry = line.trimmed() == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.startsWith(prefix))
            return unescapeString(line.mid(prefix.size()));
    }
    return std::nullopt;
}

bool autostartEntryStarts(const QString &entryPath, const QString &executable) {
    const auto exec = readDesktopEntryValue(entryPath, QStringLiteral("Exec"));
    if (!exec)
        return false;
    if (readDesktopEntryValue(entryPath, QStringLiteral("Hidden")) == QStringLiteral("true") ||
        readDesktopEntryValue(entryPath, QStringLiteral("X-GNOME-Autostart-enabled")) ==
            QStringLiteral("false"))
        return false;
    QString program = execProgram(*exec);
    // A bare name is looked up on PATH at login, as the desktop will.
    if (!program.contains(u'/'))
        program = QStandardPaths::findExecutable(program);
    const QString target = canonical(executable);
    return !program.isEmpty() && !target.isEmpty() && canonical(program) == target;
}

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
