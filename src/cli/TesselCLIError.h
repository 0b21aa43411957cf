#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The bridge's own failures, with the descriptions the menu shows as its error text.
class TesselCLIError : public std::exception {
public:
    enum class Kind { missingCLI, commandFailed, invalidResponse };

    // The tool at `path` is missing or not an executable file.
    static TesselCLIError missingCLI(QString path);
    // The tool exited unsuccessfully; `message` is what it said about it.
    static TesselCLIError commandFailed(QString message);
    // The tool's standard output is not the expected document.
    static TesselCLIError invalidResponse();

    Kind kind() const { return m_kind; }
    QString errorDescription() const;
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    TesselCLIError(Kind kind, QString payload);

    Kind m_kind;
    QString m_payload;
    QByteArray m_utf8;
};
