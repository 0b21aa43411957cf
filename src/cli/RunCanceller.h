#pragma once

#include <QList>
#include <QPointer>
#include <QProcess>

// Stops a group of tool runs at once: `cancel()` kills every child process that is running
// under it and every one started under it afterwards. Used on the GUI thread only.
class RunCanceller {
public:
    void cancel();
    bool isCancelled() const { return m_cancelled; }

    void attach(QProcess *process);
    void detach(QProcess *process);

private:
    bool m_cancelled = false;
    QList<QPointer<QProcess>> m_processes;
};
