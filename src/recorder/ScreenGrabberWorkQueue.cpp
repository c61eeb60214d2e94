#include "recorder/ScreenGrabberWorkQueue.h"

#include <algorithm>

namespace vtl {

ScreenGrabberWorkQueue::ScreenGrabberWorkQueue(unsigned threadCount, bool synchronous)
    : synchronous_(synchronous) {
    if (synchronous_) return;
    for (unsigned i = 0; i < std::max(1u, threadCount); ++i)
        threads_.emplace_back([this] { workerLoop(); });
}

ScreenGrabberWorkQueue::~ScreenGrabberWorkQueue() {
    {
        std::lock_guard lock(mutex_);
        exit_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void ScreenGrabberWorkQueue::post(std::function<void()> job) {
    if (synchronous_) {
        job();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void ScreenGrabberWorkQueue::drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return jobs_.empty() && running_ == 0; });
}

void ScreenGrabberWorkQueue::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return exit_ || !jobs_.empty(); });
        // Jobs still queued at exit are run: each one holds a frame the recording needs.
        if (jobs_.empty()) return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        ++running_;
        lock.unlock();
        job();
        lock.lock();
        --running_;
        if (jobs_.empty() && running_ == 0) idle_.notify_all();
    }
}

} // namespace vtl
