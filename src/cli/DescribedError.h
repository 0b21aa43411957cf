#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of the project's own failures that are not the bridge's TesselCLIError: each carries
// one human-readable description, which the state object shows as the error text.
class DescribedError : public std::exception {
public:
    explicit DescribedError(QString description);

    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

// A JSON document from the tool that does not have the expected shape.
class ReportFormatError : public DescribedError {
public:
    using DescribedError::DescribedError;
};

// The usage file could not be read or decoded; the description names the file and the reason.
class UsageFileError : public DescribedError {
public:
    UsageFileError(const QString &path, const QString &reason);
};

// The tool passed the executable check but could not be started.
class ProcessLaunchError : public DescribedError {
public:
    ProcessLaunchError(const QString &program, const QString &reason);
};
