#include "cli/DescribedError.h"

DescribedError::DescribedError(QString description)
    : m_description(std::move(description)), m_utf8(m_description.toUtf8()) {}

UsageFileError::UsageFileError(const QString &path, const QString &reason)
    : DescribedError(QStringLiteral("无法读取用量文件 %1：%2").arg(path, reason)) {}

ProcessLaunchError::ProcessLaunchError(const QString &program, const QString &reason)
    : DescribedError(QStringLiteral("无法启动 %1：%2").arg(program, reason)) {}
