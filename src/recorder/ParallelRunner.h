#pragma once
// A small fixed set of threads that runs the independent pieces of one frame's encoding
// (stripes, changed rectangles) in parallel. Owned by the encode queue; apply() is called from
// one thread at a time.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace vtl::recording {

class ParallelRunner {
public:
    // `workerCount` threads take part, the calling thread being one of them; 0 picks the number
    // of processors (at most 8).
    explicit ParallelRunner(unsigned workerCount = 0);
    ~ParallelRunner();
    ParallelRunner(const ParallelRunner&) = delete;
    ParallelRunner& operator=(const ParallelRunner&) = delete;

    unsigned workerCount() const { return m_workerCount; }

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

    unsigned m_workerCount = 1;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    bool m_exit = false;
    std::size_t m_generation = 0;
    Trampoline m_trampoline = nullptr;
    void* m_context = nullptr;
    std::size_t m_count = 0;
    std::size_t m_nextIndex = 0;
    std::size_t m_finished = 0;
};

} // namespace vtl::recording
