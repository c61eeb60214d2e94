#pragma once
// Task queues: the main queue (drained by the application's event loop, see DispatchMainLoop.h),
// serial queues (FIFO on one worker thread of their own) and concurrent queues (on the shared
// worker pool). Queues are shared: whoever creates one holds it through std::shared_ptr. When the
// last holder of a serial queue lets go, it waits for the pending tasks (so they may use their
// owner until then); it must therefore not let go on a thread those tasks wait for. Letting go
// from one of the queue's own tasks is fine.

#include <functional>
#include <memory>
#include <string>

namespace vtl {

using DispatchTask = std::function<void()>;

// True on the process's main thread (the thread that runs main() and the event loop).
bool isMainThread();

// Runs the task on the main thread and returns when it has run. On the main thread it runs at
// once, so it never waits for itself.
void runOnMainThreadAndWait(const DispatchTask& task);

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    enum class Kind { main, serial, concurrent };

    virtual ~DispatchQueue() = default;
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // The one main queue of the process.
    static std::shared_ptr<DispatchQueue> mainQueue();
    // The shared concurrent queue (the worker pool itself).
    static std::shared_ptr<DispatchQueue> globalQueue();
    static std::shared_ptr<DispatchQueue> createSerial(std::string label);
    static std::shared_ptr<DispatchQueue> createConcurrent(std::string label);

    // The queue whose task is running on the calling thread, or null.
    static DispatchQueue* current();

    // Queues the task and returns at once. Thread-safe.
    virtual void async(DispatchTask task) = 0;

    // Runs the task on the queue and returns when it has run. Called from a task of this same
    // queue (or on the main thread for the main queue) it runs at once instead of waiting for
    // itself, which would never end.
    void sync(const DispatchTask& task);

    // Queues the task after the delay (a one-shot timer without a handle, which holds the queue
    // until then).
    void after(double delaySeconds, DispatchTask task);

    Kind kind() const { return kind_; }
    const std::string& label() const { return label_; }

protected:
    DispatchQueue(Kind kind, std::string label)
        : kind_(kind)
        , label_(std::move(label)) {}

private:
    Kind kind_;
    std::string label_;
};

} // namespace vtl
