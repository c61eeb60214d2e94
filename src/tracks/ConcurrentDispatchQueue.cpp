#include "tracks/ConcurrentDispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vtl {

namespace {

struct ApplyBatch {
    const std::function<void(std::size_t)>* job = nullptr;
    std::size_t count = 0;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable done;
    std::size_t finished = 0;

    // Takes indexes until none is left; answers whether this call finished the last one.
    void work() {
        std::size_t ran = 0;
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            (*job)(i);
            ++ran;
        }
        if (ran == 0) return;
        std::lock_guard lock(mutex);
        finished += ran;
        if (finished == count) done.notify_all();
    }
};

class WorkerPool {
public:
    WorkerPool() {
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] { run(); });
    }
    ~WorkerPool() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (auto& thread : m_threads)
            thread.join();
    }

    std::size_t threadCount() const { return m_threads.size(); }

    void post(const std::shared_ptr<ApplyBatch>& batch, std::size_t helpers) {
        {
            std::lock_guard lock(m_mutex);
            for (std::size_t i = 0; i < helpers; ++i)
                m_pending.push_back(batch);
        }
        if (helpers == 1)
            m_wake.notify_one();
        else
            m_wake.notify_all();
    }

private:
    void run() {
        for (;;) {
            std::shared_ptr<ApplyBatch> batch;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
                if (m_pending.empty()) return;
                batch = std::move(m_pending.front());
                m_pending.pop_front();
            }
            batch->work();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<ApplyBatch>> m_pending;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

WorkerPool& sharedPool() {
    static WorkerPool pool;
    return pool;
}

} // namespace

void ConcurrentDispatchQueue::apply(std::size_t count, const std::function<void(std::size_t)>& job) const {
    if (count == 0) return;
    if (count == 1) {
        job(0);
        return;
    }
    auto batch = std::make_shared<ApplyBatch>();
    batch->job = &job;
    batch->count = count;
    WorkerPool& pool = sharedPool();
    pool.post(batch, std::min(count - 1, pool.threadCount()));
    batch->work();
    std::unique_lock lock(batch->mutex);
    batch->done.wait(lock, [&] { return batch->finished == batch->count; });
}

} // namespace vtl
