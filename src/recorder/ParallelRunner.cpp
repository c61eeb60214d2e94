#include "recorder/ParallelRunner.h"

#include <algorithm>

namespace vtl {

ParallelRunner::ParallelRunner(unsigned workerCount) {
    if (workerCount == 0) workerCount = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    workerCount_ = workerCount;
    for (unsigned worker = 1; worker < workerCount_; ++worker)
        threads_.emplace_back([this, worker] { workerLoop(worker); });
}

ParallelRunner::~ParallelRunner() {
    {
        std::lock_guard lock(mutex_);
        exit_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void ParallelRunner::run(std::size_t count, Trampoline trampoline, void* context) {
    if (count == 0) return;
    {
        std::lock_guard lock(mutex_);
        trampoline_ = trampoline;
        context_ = context;
        count_ = count;
        nextIndex_ = 0;
        finished_ = 0;
        ++generation_;
    }
    if (count > 1) wake_.notify_all();
    drain(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_ == count_; });
    trampoline_ = nullptr;
    context_ = nullptr;
}

void ParallelRunner::drain(unsigned worker) {
    std::unique_lock lock(mutex_);
    while (trampoline_ && nextIndex_ < count_) {
        const std::size_t index = nextIndex_++;
        Trampoline trampoline = trampoline_;
        void* context = context_;
        lock.unlock();
        trampoline(context, index, worker);
        lock.lock();
        if (++finished_ == count_) done_.notify_all();
    }
}

void ParallelRunner::workerLoop(unsigned worker) {
    std::size_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return exit_ || generation_ != seen; });
            if (exit_) return;
            seen = generation_;
        }
        drain(worker);
    }
}

} // namespace vtl
