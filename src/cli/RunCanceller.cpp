#include "cli/RunCanceller.h"

void RunCanceller::cancel() {
    m_cancelled = true;
    for (const QPointer<QProcess> &process : std::as_const(m_processes)) {
        if (process && process->state() != QProcess::NotRunning)
            process->kill();
    }
}

void RunCanceller::attach(QProcess *process) {
    m_processes.append(process);
    if (m_cancelled && process->state() != QProcess::NotRunning)
        process->kill();
}

void RunCanceller::detach(QProcess *process) {
    m_processes.removeIf([process](const QPointer<QProcess> &p) { return !p || p == process; });
}
