#include "platform/foundation/DispatchWorkerGroup.h"

#include "platform/foundation/DispatchInternal.h"

#include <algorithm>
#include <system_error>

namespace vtl {

DispatchWorkerGroup::DispatchWorkerGroup(unsigned threadCount, std::string label)
    : label_(std::move(label)) {
    try {
        for (unsigned worker = 1; worker <= threadCount; ++worker)
            threads_.emplace_back([this, worker] { workerLoop(worker); });
    } catch (...) {
        {
            MutexLock lock(mutex_);
            exit_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
        throw;
    }
}

DispatchWorkerGroup::~DispatchWorkerGroup() {
    {
        MutexLock lock(mutex_);
        exit_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

unsigned DispatchWorkerGroup::processorCount(unsigned limit) {
    return std::clamp(std::thread::hardware_concurrency(), 1u, std::max(1u, limit));
}

void DispatchWorkerGroup::run(std::size_t count, Trampoline trampoline, void* context) {
    if (count == 0) return;
    MutexLock lock(mutex_);
    trampoline_ = trampoline;
    context_ = context;
    count_ = count;
    nextIndex_ = 0;
    finished_ = 0;
    applyError_ = nullptr;
    ++generation_;
    if (count > 1) wake_.notify_all();
    drainApply(0);
    while (finished_ != count_)
        applyDone_.wait(lock);
    trampoline_ = nullptr;
    context_ = nullptr;
    if (applyError_) {
        std::exception_ptr error = std::move(applyError_);
        applyError_ = nullptr;
        std::rethrow_exception(error);
    }
}

void DispatchWorkerGroup::drainApply(unsigned worker) {
    while (trampoline_ && nextIndex_ < count_) {
        const std::size_t index = nextIndex_++;
        Trampoline trampoline = trampoline_;
        void* context = context_;
        mutex_.unlock();
        std::exception_ptr error;
        try {
            trampoline(context, index, worker);
        } catch (...) {
            error = std::current_exception();
        }
        mutex_.lock();
        if (error && !applyError_) applyError_ = std::move(error);
        if (++finished_ == count_) applyDone_.notify_all();
    }
}

void DispatchWorkerGroup::async(Job job) {
    if (threads_.empty()) {
        runDispatchTask(job, label_.c_str());
        return;
    }
    {
        MutexLock lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void DispatchWorkerGroup::drain() {
    MutexLock lock(mutex_);
    while (!jobs_.empty() || runningJobs_ > 0)
        idle_.wait(lock);
}

void DispatchWorkerGroup::workerLoop(unsigned worker) {
    const std::string where = "the worker group " + label_;
    MutexLock lock(mutex_);
    std::size_t seen = generation_;
    for (;;) {
        if (generation_ != seen) {
            seen = generation_;
            drainApply(worker);
            continue;
        }
        if (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            ++runningJobs_;
            lock.unlock();
            runDispatchTask(job, where.c_str());
            job = nullptr; // its captures go outside the lock
            lock.lock();
            if (--runningJobs_ == 0 && jobs_.empty()) idle_.notify_all();
            continue;
        }
        // Jobs still queued at the end are run first: each may hold work its owner needs.
        if (exit_) return;
        wake_.wait(lock);
    }
}

} // namespace vtl
