#include "state/LoopControl.h"

#include <algorithm>
#include <limits>

LoopControl::LoopControl() {
    m_timer.setSingleShot(true);
    // A coarse timer fires up to 5% early, which would make a one-second countdown skip.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { wake(); });
}

void LoopControl::cancel() {
    m_cancelled = true;
    m_timer.stop();
    wake();
}

void LoopControl::wake() {
    if (!m_waiting)
        return;
    // Resumed from the event loop, never from inside the caller's stack or the timer's own
    // signal, because the loop may release this object when it ends.
    QMetaObject::invokeMethod(
        &m_timer, [waiting = std::exchange(m_waiting, {})] { waiting.resume(); },
        Qt::QueuedConnection);
}

void LoopControl::Sleep::await_suspend(std::coroutine_handle<> waiting) {
    m_control.m_waiting = waiting;
    if (m_control.m_cancelled) {
        m_control.wake();
        return;
    }
    constexpr std::chrono::milliseconds longest(std::numeric_limits<int>::max());
    m_control.m_timer.start(std::clamp(m_duration, std::chrono::milliseconds(0), longest));
}
