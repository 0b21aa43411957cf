#pragma once

#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <memory>
#include <optional>

// The handle of one background loop: the loop sleeps through it and its owner wakes or
// cancels it. Sleeps are measured on the boot clock, which keeps counting while the machine
// is suspended, so a loop due during a night's sleep runs as soon as the machine wakes.
// Cancelling wakes a sleeping loop at once; the loop sees the cancellation at the top of its
// next pass. Shared by the owner and the loop's coroutine, GUI thread only.
class LoopControl {
public:
    LoopControl();
    ~LoopControl();
    LoopControl(const LoopControl &) = delete;
    LoopControl &operator=(const LoopControl &) = delete;

    void cancel();
    bool isCancelled() const { return m_cancelled; }
    // Ends the current sleep early, if there is one, without cancelling the loop.
    void wake();

    class Sleep {
    public:
        Sleep(LoopControl &control, std::optional<std::chrono::milliseconds> duration)
            : m_control(control), m_duration(duration) {}
        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> waiting);
        void await_resume() const {}

    private:
        LoopControl &m_control;
        std::optional<std::chrono::milliseconds> m_duration;
    };

    // Suspends for `duration`, or until wake() or cancel().
    Sleep sleep(std::chrono::milliseconds duration) { return Sleep(*this, duration); }
    // Suspends until wake() or cancel(), holding no timer.
    Sleep sleepUntilWoken() { return Sleep(*this, std::nullopt); }

private:
    void arm(std::chrono::milliseconds duration);
    void disarm();
    void resumeWaiting();

    int m_timerFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // Used only where the system refuses a boot-clock timer; it stops while suspended.
    QTimer m_fallback;
    std::coroutine_handle<> m_waiting;
    bool m_cancelled = false;
};
