#pragma once
// Internals of the dispatch layer, not for use outside it.

// The process-wide pool of worker threads behind concurrent queues and dispatchApply. It keeps
// one thread per core and grows (up to a cap) while every thread is busy, so a task that blocks
// does not starve the others; threads above the base count leave after a while idle.

#include "platform/foundation/DispatchQueue.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace vtl {

class DispatchWorkerPool {
public:
    static DispatchWorkerPool& shared();

    // allowGrowth false: never start an extra thread for this task (apply helpers, whose caller
    // does the work itself when no thread is free).
    void submit(DispatchTask task, bool allowGrowth = true);
    std::size_t baseThreadCount() const { return baseThreads_; }

private:
    DispatchWorkerPool();
    void startThreadLocked();
    void workerLoop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<DispatchTask> tasks_;
    std::size_t baseThreads_;
    std::size_t maxThreads_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
};

// Marks the queue whose task runs on this thread (null when none); returns the previous one.
DispatchQueue* setCurrentDispatchQueue(DispatchQueue* queue);

// Runs a task, logging what it throws so that one faulty task does not end a worker thread.
void runDispatchTask(const DispatchTask& task, const char* where);

// Appends a task to the main queue and wakes the main loop.
void enqueueMainQueueTask(DispatchTask task);

} // namespace vtl
