#include "platform/foundation/DispatchMainLoop.h"

#include "platform/foundation/DispatchInternal.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace vtl {
namespace {

struct EndOfPassObserver {
    MainLoop::Token token;
    std::function<void()> call;
    std::atomic<bool> removed{false};
};

struct MainLoopState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<DispatchTask> tasks;
    bool wakePosted = false;    // the hook was called and no pass has started since
    bool passRequested = false; // wakeUp() without a task, for the hand-driven loop

    std::mutex hookMutex;
    std::function<void()> hook;

    std::mutex observerMutex;
    std::vector<std::shared_ptr<EndOfPassObserver>> observers;
    MainLoop::Token nextToken = 1;
};

MainLoopState& state() {
    // Never destroyed: other threads may post during exit.
    static auto* s = new MainLoopState();
    return *s;
}

void requestWake(bool withTask, DispatchTask task) {
    auto& s = state();
    bool callHook;
    {
        std::lock_guard lock(s.mutex);
        if (withTask)
            s.tasks.push_back(std::move(task));
        else
            s.passRequested = true;
        callHook = !s.wakePosted;
        s.wakePosted = true;
    }
    s.wake.notify_all();
    if (callHook) {
        std::lock_guard lock(s.hookMutex);
        if (s.hook) s.hook();
    }
}

} // namespace

void enqueueMainQueueTask(DispatchTask task) {
    requestWake(true, std::move(task));
}

void MainLoop::setWakeUpHook(std::function<void()> hook) {
    auto& s = state();
    bool pending;
    {
        std::lock_guard lock(s.hookMutex);
        s.hook = std::move(hook);
        pending = static_cast<bool>(s.hook);
    }
    // Work queued before the hook existed must not wait for the next post.
    if (pending) {
        {
            std::lock_guard lock(s.mutex);
            pending = !s.tasks.empty() || s.passRequested;
            if (pending) s.wakePosted = true;
        }
        std::lock_guard lock(s.hookMutex);
        if (pending && s.hook) s.hook();
    }
}

void MainLoop::wakeUp() {
    requestWake(false, nullptr);
}

bool MainLoop::performPendingTasks() {
    VTL_ASSERT(isMainThread(), "main-queue tasks must run on the main thread");
    auto& s = state();
    std::deque<DispatchTask> tasks;
    {
        std::lock_guard lock(s.mutex);
        tasks.swap(s.tasks);
        s.wakePosted = false;
        s.passRequested = false;
    }
    DispatchQueue* mainQueue = DispatchQueue::mainQueue().get();
    for (auto& task : tasks) {
        DispatchQueue* previous = setCurrentDispatchQueue(mainQueue);
        runDispatchTask(task, "the main queue");
        setCurrentDispatchQueue(previous);
        task = nullptr;
    }
    return !tasks.empty();
}

void MainLoop::endPass() {
    auto& s = state();
    std::vector<std::shared_ptr<EndOfPassObserver>> observers;
    {
        std::lock_guard lock(s.observerMutex);
        observers = s.observers;
    }
    for (auto& observer : observers)
        if (!observer->removed.load()) observer->call();
}

MainLoop::Token MainLoop::addEndOfPassObserver(std::function<void()> observer) {
    auto& s = state();
    std::lock_guard lock(s.observerMutex);
    auto entry = std::make_shared<EndOfPassObserver>();
    entry->token = s.nextToken++;
    entry->call = std::move(observer);
    s.observers.push_back(entry);
    return entry->token;
}

void MainLoop::removeEndOfPassObserver(Token token) {
    auto& s = state();
    std::shared_ptr<EndOfPassObserver> removed;
    {
        std::lock_guard lock(s.observerMutex);
        auto it = std::find_if(s.observers.begin(), s.observers.end(),
                               [token](const auto& entry) { return entry->token == token; });
        if (it == s.observers.end()) return;
        (*it)->removed = true;
        removed = std::move(*it);
        s.observers.erase(it);
    }
    // Released unlocked: what the observer captures may remove other observers when destroyed.
}

bool MainLoop::hasPendingTasks() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return !s.tasks.empty();
}

bool runMainLoopOnce(double waitSeconds) {
    auto& s = state();
    if (waitSeconds > 0) {
        std::unique_lock lock(s.mutex);
        s.wake.wait_for(lock, std::chrono::duration<double>(waitSeconds),
                        [&] { return !s.tasks.empty() || s.passRequested; });
    }
    bool ran = MainLoop::performPendingTasks();
    MainLoop::endPass();
    return ran;
}

bool runMainLoopUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(std::max(0.0, timeoutSeconds)));
    for (;;) {
        if (predicate()) return true;
        auto now = Clock::now();
        if (now >= deadline) return predicate();
        double remaining = std::chrono::duration<double>(deadline - now).count();
        runMainLoopOnce(std::min(remaining, 0.05));
    }
}

} // namespace vtl
