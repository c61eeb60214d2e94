#include "platform/foundation/DispatchInternal.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

namespace vtl {
namespace {
thread_local DispatchQueue* tCurrentQueue = nullptr;
constexpr auto extraThreadIdleTime = std::chrono::seconds(5);
} // namespace

DispatchQueue* setCurrentDispatchQueue(DispatchQueue* queue) {
    DispatchQueue* previous = tCurrentQueue;
    tCurrentQueue = queue;
    return previous;
}

DispatchQueue* DispatchQueue::current() {
    return tCurrentQueue;
}

void runDispatchTask(const DispatchTask& task, const char* where) {
    try {
        task();
    } catch (const std::exception& error) {
        logMessage(std::string("A task on ") + where + " threw: " + error.what());
    } catch (...) {
        logMessage(std::string("A task on ") + where + " threw an unknown exception.");
    }
}

DispatchWorkerPool& DispatchWorkerPool::shared() {
    // Never destroyed: its detached threads may outlive static destruction at exit.
    static auto* pool = new DispatchWorkerPool();
    return *pool;
}

DispatchWorkerPool::DispatchWorkerPool() {
    baseThreads_ = std::max<std::size_t>(2, std::thread::hardware_concurrency());
    maxThreads_ = std::max<std::size_t>(64, baseThreads_ * 4);
}

void DispatchWorkerPool::startThreadLocked() {
    ++threads_;
    std::thread([this] { workerLoop(); }).detach();
}

void DispatchWorkerPool::submit(DispatchTask task, bool allowGrowth) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (threads_ < baseThreads_ || (allowGrowth && tasks_.size() > idle_ && threads_ < maxThreads_))
        startThreadLocked();
    wake_.notify_one();
}

void DispatchWorkerPool::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!tasks_.empty()) {
            DispatchTask task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            runDispatchTask(task, "the worker pool");
            task = nullptr; // release captures outside the lock
            lock.lock();
            continue;
        }
        ++idle_;
        bool woken = wake_.wait_for(lock, extraThreadIdleTime, [this] { return !tasks_.empty(); });
        --idle_;
        if (!woken && threads_ > baseThreads_) {
            --threads_;
            return;
        }
    }
}

} // namespace vtl
