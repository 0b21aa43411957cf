#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>

class RunCanceller;

// One child process to run: no shell, its own working directory, the parent's environment
// and standard input, standard output and standard error captured separately.
struct ProcessRequest {
    QString program;
    QStringList arguments;
    QString workingDirectory;
    // Past this the child is killed and the run reports `timedOut`.
    std::chrono::milliseconds timeout;
    std::shared_ptr<RunCanceller> canceller;
};

struct FinishedProcess {
    QByteArray standardOutput;
    QByteArray standardError;
    bool exitedNormally = false; // false when ended by a signal
    int exitCode = 0;
    bool timedOut = false;
    bool cancelled = false;

    bool succeeded() const { return exitedNormally && exitCode == 0 && !timedOut && !cancelled; }
};

// Starts the child and resumes once it has exited, with both streams read to the end. The
// GUI thread is never blocked: QProcess drains both pipes as data arrives, so a child that
// writes more than a pipe holds never stalls. Throws ProcessLaunchError when the child cannot
// be started.
QCoro::Task<FinishedProcess> runProcess(ProcessRequest request);
