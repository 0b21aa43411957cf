#include "state/LoopControl.h"

#include <algorithm>
#include <limits>

#include <sys/timerfd.h>
#include <unistd.h>

LoopControl::LoopControl() {
    m_timerFd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_timerFd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            quint64 expirations = 0;
            if (::read(m_timerFd, &expirations, sizeof expirations) > 0)
                resumeWaiting();
        });
    }
    m_fallback.setSingleShot(true);
    // A coarse timer fires up to 5% early, which would make a one-second countdown skip.
    m_fallback.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fallback, &QTimer::timeout, [this] { resumeWaiting(); });
}

LoopControl::~LoopControl() {
    m_notifier.reset();
    if (m_timerFd >= 0)
        ::close(m_timerFd);
}

void LoopControl::cancel() {
    m_cancelled = true;
    wake();
}

void LoopControl::wake() {
    disarm();
    resumeWaiting();
}

void LoopControl::arm(std::chrono::milliseconds duration) {
    if (m_timerFd < 0) {
        constexpr std::chrono::milliseconds longest(std::numeric_limits<int>::max());
        m_fallback.start(std::min(duration, longest));
        return;
    }
    // A zero expiry would disarm the timer instead of firing it.
    const qint64 ms = std::max<qint64>(duration.count(), 1);
    itimerspec expiry{};
    expiry.it_value.tv_sec = static_cast<time_t>(ms / 1000);
    expiry.it_value.tv_nsec = static_cast<long>(ms % 1000 * 1'000'000);
    timerfd_settime(m_timerFd, 0, &expiry, nullptr);
}

void LoopControl::disarm() {
    m_fallback.stop();
    if (m_timerFd >= 0) {
        const itimerspec none{};
        timerfd_settime(m_timerFd, 0, &none, nullptr);
    }
}

void LoopControl::resumeWaiting() {
    if (!m_waiting)
        return;
    // Resumed from the event loop, never from inside the caller's stack or the notifier's own
    // signal, because the loop may release this object when it ends.
    QMetaObject::invokeMethod(
        &m_fallback, [waiting = std::exchange(m_waiting, {})] { waiting.resume(); },
        Qt::QueuedConnection);
}

void LoopControl::Sleep::await_suspend(std::coroutine_handle<> waiting) {
    m_control.m_waiting = waiting;
    if (m_control.m_cancelled) {
        m_control.resumeWaiting();
        return;
    }
    if (m_duration)
        m_control.arm(std::max(*m_duration, std::chrono::milliseconds(0)));
}
