#pragma once

#include "collect/LogReader.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

// A fixed set of threads that read a collect's files round after round, each with its own
// LogReader; the calling thread reads too. Starting threads once for the whole collect rather
// than once per round matters when there are many small files.
class ReadWorkers {
public:
    // `count` readers in all, the calling thread's included (at least one).
    explicit ReadWorkers(std::size_t count);
    ~ReadWorkers();
    ReadWorkers(const ReadWorkers &) = delete;
    ReadWorkers &operator=(const ReadWorkers &) = delete;

    // Reads every job and answers their results in the same order. A failure in any thread
    // (out of memory) is thrown here, once the round has ended.
    std::vector<ReadResult> read(std::span<const ReadJob> jobs);

private:
    void serve(std::size_t worker);
    void work(std::size_t worker);

    std::vector<LogReader> m_readers;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::span<const ReadJob> m_jobs;
    std::vector<ReadResult> *m_results = nullptr;
    std::vector<std::exception_ptr> m_failures;
    std::atomic<std::size_t> m_next{0};
    std::size_t m_round = 0; // rounds started; a helper works once on each
    std::size_t m_busy = 0;  // helpers still working on the current round
    bool m_stopping = false;
};
