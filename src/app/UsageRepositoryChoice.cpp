#include "app/UsageRepositoryChoice.h"

#include "cli/Bundle.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

QString defaultUsageRepository() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/tesselmenu/usage");
}

std::optional<QString> usageRepositoryToEnter(const Bundle &bundle,
                                              const QString &currentDirectory) {
    if (bundle.objectForInfoDictionaryKey(QStringLiteral("TesselRepoDir")).isString())
        return std::nullopt;
    if (QFileInfo::exists(currentDirectory + QStringLiteral("/docs/usage.json")))
        return std::nullopt;
    return defaultUsageRepository();
}

Bundle withToolPathFrom(Bundle bundle, const QString &startFolder) {
    const QString key = QStringLiteral("TesselCLIPath");
    const QJsonValue tool = bundle.info.value(key);
    if (tool.isString() && tool.toString().contains(u'/') && QDir::isRelativePath(tool.toString()))
        bundle.info[key] = QDir::cleanPath(QDir(startFolder).absoluteFilePath(tool.toString()));
    return bundle;
}

void prepareUsageRepository(const QString &folder) {
    if (!QDir().mkpath(folder))
        throw UsageRepositoryError(QStringLiteral("无法创建用量仓库 %1").arg(folder));
    if (QFileInfo::exists(folder + QStringLiteral("/.git")))
        return;
    const QString git = QStandardPaths::findExecutable(QStringLiteral("git"));
    if (git.isEmpty()) {
        qWarning("TesselMenu: git is not installed; %s stays a plain folder", qPrintable(folder));
        return;
    }
    QProcess init;
    init.setProgram(git);
    init.setArguments({QStringLiteral("init"), QStringLiteral("--quiet"),
                       QStringLiteral("--initial-branch=main"), folder});
    init.setStandardInputFile(QProcess::nullDevice());
    init.start();
    if (!init.waitForFinished(30000)) {
        init.kill();
        init.waitForFinished();
    }
    if (init.exitStatus() != QProcess::NormalExit || init.exitCode() != 0)
        qWarning("TesselMenu: git init %s failed: %s", qPrintable(folder),
                 qPrintable(QString::fromLocal8Bit(init.readAllStandardError()).trimmed()));
}
