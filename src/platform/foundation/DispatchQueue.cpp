#include "platform/foundation/DispatchQueue.h"

#include "platform/foundation/DispatchInternal.h"
#include "platform/foundation/DispatchTimer.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

class MainDispatchQueue final : public DispatchQueue {
public:
    MainDispatchQueue()
        : DispatchQueue(Kind::main, "main") {}
    void async(DispatchTask task) override { enqueueMainQueueTask(std::move(task)); }
};

// FIFO on one thread of its own, started with the first task. The state is shared with the
// thread so that the queue may be let go of from one of its own tasks.
class SerialDispatchQueue final : public DispatchQueue {
public:
    explicit SerialDispatchQueue(std::string label)
        : DispatchQueue(Kind::serial, std::move(label))
        , state_(std::make_shared<State>()) {}

    ~SerialDispatchQueue() override {
        {
            std::lock_guard lock(state_->mutex);
            state_->closing = true;
            state_->owner = nullptr;
        }
        state_->wake.notify_one();
        if (!worker_.joinable()) return;
        if (worker_.get_id() == std::this_thread::get_id())
            worker_.detach(); // released by its own task: the thread finishes the rest and ends
        else
            worker_.join(); // pending tasks still run
    }

    void async(DispatchTask task) override {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
        if (!worker_.joinable()) {
            state_->owner = this;
            worker_ = std::thread([state = state_] { run(*state); });
        }
        state_->wake.notify_one();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<DispatchTask> tasks;
        DispatchQueue* owner = nullptr;
        bool closing = false;
    };

    static void run(State& state) {
        std::unique_lock lock(state.mutex);
        for (;;) {
            state.wake.wait(lock, [&] { return !state.tasks.empty() || state.closing; });
            if (state.tasks.empty()) return;
            DispatchTask task = std::move(state.tasks.front());
            state.tasks.pop_front();
            DispatchQueue* owner = state.owner;
            lock.unlock();
            DispatchQueue* previous = setCurrentDispatchQueue(owner);
            runDispatchTask(task, "a serial queue");
            task = nullptr;
            setCurrentDispatchQueue(previous);
            lock.lock();
        }
    }

    std::shared_ptr<State> state_;
    std::thread worker_;
};

class ConcurrentDispatchQueue final : public DispatchQueue {
public:
    explicit ConcurrentDispatchQueue(std::string label)
        : DispatchQueue(Kind::concurrent, std::move(label)) {}

    void async(DispatchTask task) override {
        // Each pending task holds the queue, so current() stays valid while it runs.
        DispatchWorkerPool::shared().submit([self = shared_from_this(), task = std::move(task)] {
            DispatchQueue* previous = setCurrentDispatchQueue(self.get());
            runDispatchTask(task, "a concurrent queue");
            setCurrentDispatchQueue(previous);
        });
    }
};

} // namespace

bool isMainThread() {
    static const pid_t processId = getpid();
    thread_local const bool isMain = static_cast<pid_t>(syscall(SYS_gettid)) == processId;
    return isMain;
}

std::shared_ptr<DispatchQueue> DispatchQueue::mainQueue() {
    // Never destroyed: timers and workers may still post to it during exit.
    static auto* queue = new std::shared_ptr<DispatchQueue>(std::make_shared<MainDispatchQueue>());
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::globalQueue() {
    static auto* queue =
        new std::shared_ptr<DispatchQueue>(std::make_shared<ConcurrentDispatchQueue>("global"));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label) {
    return std::make_shared<SerialDispatchQueue>(std::move(label));
}

std::shared_ptr<DispatchQueue> DispatchQueue::createConcurrent(std::string label) {
    return std::make_shared<ConcurrentDispatchQueue>(std::move(label));
}

void DispatchQueue::sync(const DispatchTask& task) {
    bool runHere = kind_ == Kind::main ? isMainThread() : current() == this;
    if (runHere) {
        task();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    async([&task, &done] {
        try {
            task();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

void DispatchQueue::after(double delaySeconds, DispatchTask task) {
    DispatchTimer::scheduleOnce(delaySeconds, std::move(task), shared_from_this());
}

void runOnMainThreadAndWait(const DispatchTask& task) {
    DispatchQueue::mainQueue()->sync(task);
}

} // namespace vtl
