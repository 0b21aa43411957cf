#include "collect/ReadWorkers.h"

#include <algorithm>
#include <utility>

ReadWorkers::ReadWorkers(std::size_t count)
    : m_readers(std::max<std::size_t>(count, 1)), m_failures(m_readers.size()) {
    for (std::size_t worker = 1; worker < m_readers.size(); ++worker)
        m_threads.emplace_back(&ReadWorkers::serve, this, worker);
}

ReadWorkers::~ReadWorkers() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

std::vector<ReadResult> ReadWorkers::read(std::span<const ReadJob> jobs) {
    std::vector<ReadResult> results(jobs.size());
    {
        const std::lock_guard lock(m_mutex);
        m_jobs = jobs;
        m_results = &results;
        m_next = 0;
        m_busy = m_threads.size();
        ++m_round;
    }
    m_wake.notify_all();
    work(0);
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_busy == 0; });
        m_results = nullptr;
    }
    for (std::exception_ptr &failure : m_failures)
        if (failure)
            std::rethrow_exception(std::exchange(failure, nullptr));
    return results;
}

void ReadWorkers::serve(std::size_t worker) {
    std::size_t served = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || m_round != served; });
            if (m_stopping)
                return;
            served = m_round;
        }
        work(worker);
        {
            const std::lock_guard lock(m_mutex);
            --m_busy;
        }
        m_done.notify_one();
    }
}

void ReadWorkers::work(std::size_t worker) {
    try {
        for (std::size_t i = m_next++; i < m_jobs.size(); i = m_next++)
            (*m_results)[i] = m_readers[worker].read(m_jobs[i]);
    } catch (...) {
        m_failures[worker] = std::current_exception();
        m_next = m_jobs.size();
    }
}
