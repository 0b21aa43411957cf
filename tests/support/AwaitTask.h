#pragma once

#include <QEventLoop>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <type_traits>

// Runs the event loop until `task` has finished and hands back its value or its exception.
// QCoro::waitFor never returns for a task that throws, so tests use this instead.
template <typename T> struct Outcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;

    bool failed() const { return error != nullptr; }
};

namespace detail {

template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task, Outcome<T> *outcome, bool *done, QEventLoop *loop) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            outcome->value = true;
        } else {
            outcome->value = co_await task;
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    *done = true;
    loop->quit();
}

} // namespace detail

template <typename T> Outcome<T> awaitTask(QCoro::Task<T> task, int timeoutMs = 60000) {
    Outcome<T> outcome;
    bool done = false;
    QEventLoop loop;
    auto runner = detail::capture(std::move(task), &outcome, &done, &loop);
    if (!done) {
        QTimer::singleShot(timeoutMs, &loop, [&done] {
            if (!done) {
                std::fputs("awaitTask: task did not finish in time\n", stderr);
                std::abort();
            }
        });
        loop.exec();
    }
    return outcome;
}

// The exception of a failed outcome as type E, or nullopt when it failed otherwise or not at all.
template <typename E, typename T> std::optional<E> errorAs(const Outcome<T> &outcome) {
    try {
        if (outcome.error)
            std::rethrow_exception(outcome.error);
    } catch (const E &error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}
