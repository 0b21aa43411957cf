#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A stand-in for the tessel tool: a small shell script written into a folder of the test's
// own. Each run records its working directory and argument vector, then answers with the
// response chosen for its command: texts on both streams, an optional delay, and an exit
// status or a signal. Responses are keyed by the command ("collect", "report-today",
// "run-daily", "schedule-install", "schedule-status", "schedule-remove"); "default" answers
// every command without a response of its own.
class FakeTool {
public:
    struct Response {
        QByteArray standardOutput{};
        QByteArray standardError{};
        int exitCode = 0;
        int signal = 0;     // when set, the tool kills itself with this signal
        double delay = 0.0; // seconds to wait before answering
    };

    struct Invocation {
        QString workingDirectory;
        QStringList arguments;
    };

    explicit FakeTool(const QString &directory);

    QString path() const { return m_path; }

    void respond(const QString &command, const Response &response);

    // Every run so far, oldest first.
    QList<Invocation> invocations() const;
    QList<QStringList> argumentLists() const;
    qsizetype runCount() const { return invocations().size(); }
    qsizetype runCount(const QString &firstArgument) const;

private:
    QString m_directory;
    QString m_path;
};

// Writes `bytes` to `path`, creating the folders on the way; fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);
