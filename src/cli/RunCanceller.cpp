#include "cli/RunCanceller.h"

#include "cli/ProcessRunner.h"

void RunCanceller::cancel() {
    m_cancelled = true;
    for (ProcessGroup *group : std::as_const(m_groups))
        group->stop();
}

void RunCanceller::attach(ProcessGroup *group) {
    m_groups.append(group);
    if (m_cancelled)
        group->stop();
}

void RunCanceller::detach(ProcessGroup *group) {
    m_groups.removeAll(group);
}
