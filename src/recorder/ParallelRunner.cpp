#include "recorder/ParallelRunner.h"

#include <algorithm>

namespace vtl::recording {

ParallelRunner::ParallelRunner(unsigned workerCount) {
    if (workerCount == 0) workerCount = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    m_workerCount = workerCount;
    for (unsigned worker = 1; worker < m_workerCount; ++worker)
        m_threads.emplace_back([this, worker] { workerLoop(worker); });
}

ParallelRunner::~ParallelRunner() {
    {
        std::lock_guard lock(m_mutex);
        m_exit = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void ParallelRunner::run(std::size_t count, Trampoline trampoline, void* context) {
    if (count == 0) return;
    {
        std::lock_guard lock(m_mutex);
        m_trampoline = trampoline;
        m_context = context;
        m_count = count;
        m_nextIndex = 0;
        m_finished = 0;
        ++m_generation;
    }
    if (count > 1) m_wake.notify_all();
    drain(0);
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_finished == m_count; });
    m_trampoline = nullptr;
    m_context = nullptr;
}

void ParallelRunner::drain(unsigned worker) {
    std::unique_lock lock(m_mutex);
    while (m_trampoline && m_nextIndex < m_count) {
        const std::size_t index = m_nextIndex++;
        Trampoline trampoline = m_trampoline;
        void* context = m_context;
        lock.unlock();
        trampoline(context, index, worker);
        lock.lock();
        if (++m_finished == m_count) m_done.notify_all();
    }
}

void ParallelRunner::workerLoop(unsigned worker) {
    std::size_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_exit || m_generation != seen; });
            if (m_exit) return;
            seen = m_generation;
        }
        drain(worker);
    }
}

} // namespace vtl::recording
