#pragma once

#include <QList>

class ProcessGroup;

// Stops a group of tool runs at once: `cancel()` stops every child process (with everything
// it started) that is running under it and every one started under it afterwards. Used on the
// GUI thread only.
class RunCanceller {
public:
    void cancel();
    bool isCancelled() const { return m_cancelled; }

    void attach(ProcessGroup *group);
    void detach(ProcessGroup *group);

private:
    bool m_cancelled = false;
    QList<ProcessGroup *> m_groups;
};
