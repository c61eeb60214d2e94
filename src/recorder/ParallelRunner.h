#pragma once
// A small fixed set of threads that runs the independent pieces of one frame's encoding
// (stripes, changed rectangles) in parallel. Owned by the encode queue; apply() is called from
// one thread at a time.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace vtl {

class ParallelRunner {
public:
    // `workerCount` threads take part, the calling thread being one of them; 0 picks the number
    // of processors (at most 8).
    explicit ParallelRunner(unsigned workerCount = 0);
    ~ParallelRunner();
    ParallelRunner(const ParallelRunner&) = delete;
    ParallelRunner& operator=(const ParallelRunner&) = delete;

    unsigned workerCount() const { return workerCount_; }

    // Calls body(index, worker) for every index in [0, count) and returns when all are done.
    // `worker` is below workerCount() and names the calling worker, for per-worker scratch state.
    template <class Body> void apply(std::size_t count, Body&& body) {
        run(
            count,
            [](void* context, std::size_t index, unsigned worker) {
                (*static_cast<Body*>(context))(index, worker);
            },
            &body);
    }

private:
    using Trampoline = void (*)(void*, std::size_t, unsigned);
    void run(std::size_t count, Trampoline trampoline, void* context);
    void workerLoop(unsigned worker);
    void drain(unsigned worker);

    unsigned workerCount_ = 1;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool exit_ = false;
    std::size_t generation_ = 0;
    Trampoline trampoline_ = nullptr;
    void* context_ = nullptr;
    std::size_t count_ = 0;
    std::size_t nextIndex_ = 0;
    std::size_t finished_ = 0;
};

} // namespace vtl
