#include "platform/foundation/DispatchApply.h"

#include "platform/foundation/DispatchInternal.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace vtl {
namespace {

// Shared with helper tasks that may start only after the apply has returned; those find no index
// left and never touch the body.
struct ApplyState {
    std::size_t count = 0;
    const std::function<void(std::size_t)>* body = nullptr;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> finished{0};
    std::mutex mutex;
    std::condition_variable allDone;
    std::exception_ptr error;

    void work() {
        for (;;) {
            std::size_t index = next.fetch_add(1);
            if (index >= count) return;
            try {
                (*body)(index);
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!error) error = std::current_exception();
            }
            if (finished.fetch_add(1) + 1 == count) {
                std::lock_guard lock(mutex);
                allDone.notify_all();
            }
        }
    }
};

} // namespace

void dispatchApply(std::size_t count, const std::function<void(std::size_t)>& body) {
    if (count == 0) return;
    auto state = std::make_shared<ApplyState>();
    state->count = count;
    state->body = &body;
    auto& pool = DispatchWorkerPool::shared();
    std::size_t helpers = std::min(count - 1, pool.baseThreadCount() - 1);
    for (std::size_t i = 0; i < helpers; ++i)
        pool.submit([state] { state->work(); }, false);
    state->work();
    std::unique_lock lock(state->mutex);
    state->allDone.wait(lock, [&] { return state->finished.load() == count; });
    if (state->error) std::rethrow_exception(state->error);
}

} // namespace vtl
