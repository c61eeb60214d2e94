#pragma once
// A fixed set of persistent threads owned by one component, for work that needs its own threads
// rather than the shared pool: a parallel loop whose bodies know which worker runs them (so each
// worker keeps its own scratch state, such as a compressor), and a queue of jobs run by the
// group's threads (in order when the group has one thread). Owned by the component that made it;
// destroying it runs every job still queued, then joins the threads.

#include "platform/foundation/ThreadAnnotations.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace vtl {

class DispatchWorkerGroup {
public:
    using Job = std::function<void()>;

    // `threadCount` threads. With none, apply runs on the calling thread alone and async jobs run
    // at once on the thread that queues them (what tests use to see results at once).
    DispatchWorkerGroup(unsigned threadCount, std::string label);
    ~DispatchWorkerGroup();
    DispatchWorkerGroup(const DispatchWorkerGroup&) = delete;
    DispatchWorkerGroup& operator=(const DispatchWorkerGroup&) = delete;

    // The number of processors, at least 1 and at most `limit`.
    static unsigned processorCount(unsigned limit);

    const std::string& label() const { return label_; }
    unsigned threadCount() const { return static_cast<unsigned>(threads_.size()); }
    // Workers of apply: the group's threads and the calling thread.
    unsigned workerCount() const { return threadCount() + 1; }

    // Calls body(index, worker) for every index in [0, count) and returns when all are done. The
    // calling thread takes part as worker 0, the group's threads are workers 1 and up, so a body
    // may use per-worker state indexed by `worker`. One apply at a time: calls from several
    // threads at once are not supported. Never waits on threads that are busy with jobs. What a
    // body throws is thrown again here once every call has finished.
    template <class Body> void apply(std::size_t count, Body&& body) {
        run(
            count,
            [](void* context, std::size_t index, unsigned worker) {
                (*static_cast<std::remove_reference_t<Body>*>(context))(index, worker);
            },
            &body);
    }

    // Queues a job for the group's threads; returns at once. Thread-safe. A job that throws is
    // logged and the group carries on.
    void async(Job job);
    // Returns when every job queued before has finished. Not from one of the group's own jobs.
    void drain();

private:
    using Trampoline = void (*)(void*, std::size_t, unsigned);
    void run(std::size_t count, Trampoline trampoline, void* context);
    // Takes indexes of the running apply until none is left. Mutex held on entry and exit.
    void drainApply(unsigned worker) VTL_REQUIRES(mutex_);
    void workerLoop(unsigned worker);

    std::string label_;
    std::vector<std::thread> threads_;

    Mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable_any applyDone_;
    std::condition_variable_any idle_;
    bool exit_ VTL_GUARDED_BY(mutex_) = false;
    std::deque<Job> jobs_ VTL_GUARDED_BY(mutex_);
    std::size_t runningJobs_ VTL_GUARDED_BY(mutex_) = 0;

    std::size_t generation_ VTL_GUARDED_BY(mutex_) = 0;
    Trampoline trampoline_ VTL_GUARDED_BY(mutex_) = nullptr;
    void* context_ VTL_GUARDED_BY(mutex_) = nullptr;
    std::size_t count_ VTL_GUARDED_BY(mutex_) = 0;
    std::size_t nextIndex_ VTL_GUARDED_BY(mutex_) = 0;
    std::size_t finished_ VTL_GUARDED_BY(mutex_) = 0;
    std::exception_ptr applyError_ VTL_GUARDED_BY(mutex_);
};

} // namespace vtl
