#pragma once

#include <QTimer>

#include <chrono>
#include <coroutine>

// The handle of one background loop: the loop sleeps through it and its owner cancels it.
// Cancelling wakes a sleeping loop at once; the loop sees the cancellation at the top of its
// next pass. Shared by the owner and the loop's coroutine, GUI thread only.
class LoopControl {
public:
    LoopControl();

    void cancel();
    bool isCancelled() const { return m_cancelled; }

    class Sleep {
    public:
        Sleep(LoopControl &control, std::chrono::milliseconds duration)
            : m_control(control), m_duration(duration) {}
        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> waiting);
        void await_resume() const {}

    private:
        LoopControl &m_control;
        std::chrono::milliseconds m_duration;
    };

    // Suspends for `duration` (capped at the timer's limit of about 24 days), or until cancel().
    Sleep sleep(std::chrono::milliseconds duration) { return Sleep(*this, duration); }

private:
    void wake();

    QTimer m_timer;
    std::coroutine_handle<> m_waiting;
    bool m_cancelled = false;
};
