#pragma once
// A queue that hands objects to a processing function on a worker thread of its own, strictly in
// ascending frame index, whatever order they arrive in. Owned by the encode queue.

#include "platform/foundation/DispatchWorkerGroup.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace vtl {

template <class Object> class VTLMessageQueue {
public:
    using IndexOf = std::function<std::int64_t(const Object&)>;
    using Process = std::function<void(Object)>;
    using Hook = std::function<void()>;

    explicit VTLMessageQueue(IndexOf indexOf)
        : indexOf_(std::move(indexOf)) {}
    ~VTLMessageQueue() { stopProcessing(true); }
    VTLMessageQueue(const VTLMessageQueue&) = delete;
    VTLMessageQueue& operator=(const VTLMessageQueue&) = delete;

    // Starts the worker; set-up runs first on it, tear-down last. False when the thread could not
    // be started (logged).
    bool startProcessing(Process process, Hook setUp = {}, Hook tearDown = {}, Process drop = {}) {
        stopProcessing(true);
        {
            MutexLock lock(mutex_);
            process_ = std::move(process);
            setUp_ = std::move(setUp);
            tearDown_ = std::move(tearDown);
            drop_ = std::move(drop);
            exit_ = false;
            waiting_ = false;
            objects_.clear();
            nextRequiredFrameIndex_ = 0;
        }
        try {
            worker_ = std::make_unique<DispatchWorkerGroup>(1, "VTLMessageQueue");
        } catch (const std::system_error& error) {
            logMessage(std::string("ERROR; return code from pthread_create() is ") +
                       std::to_string(error.code().value()));
            return false;
        }
        worker_->async([this] { workerLoop(); });
        return true;
    }

    void addObject(Object object) {
        MutexLock lock(mutex_);
        const std::int64_t index = indexOf_(object);
        auto position = std::upper_bound(objects_.begin(), objects_.end(), index,
                                         [this](std::int64_t i, const Object& o) { return i < indexOf_(o); });
        objects_.insert(position, std::move(object));
        if (waiting_) condition_.notify_one();
    }

    // Processes everything still queued (unless skipPending), then ends the worker.
    void stopProcessing(bool skipPending = false) {
        if (!worker_) return;
        {
            MutexLock lock(mutex_);
            exit_ = true;
            if (skipPending) objects_.clear();
            condition_.notify_one();
        }
        worker_.reset(); // waits for the worker loop to end
        MutexLock lock(mutex_);
        process_ = {};
        setUp_ = {};
        tearDown_ = {};
        drop_ = {};
    }

    std::size_t numberOfObjectsInQueue() const {
        MutexLock lock(mutex_);
        return objects_.size();
    }

    // Removes every n-th queued object, starting with the first, handing each to the drop function.
    void dropObjectsWithInterval(int interval) {
        if (interval <= 0) return;
        MutexLock lock(mutex_);
        std::vector<Object> kept;
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            if (i % static_cast<std::size_t>(interval) == 0) {
                if (drop_) drop_(std::move(objects_[i]));
            } else {
                kept.push_back(std::move(objects_[i]));
            }
        }
        objects_ = std::move(kept);
    }

private:
    void workerLoop() {
        Hook setUp;
        Process process;
        Hook tearDown;
        {
            MutexLock lock(mutex_);
            setUp = setUp_;
            process = process_;
            tearDown = tearDown_;
        }
        if (setUp) setUp();
        MutexLock lock(mutex_);
        for (;;) {
            waiting_ = true;
            if (objects_.empty()) {
                if (exit_) break;
                condition_.wait(lock);
                continue;
            }
            // An index below the expected one (a repeat) cannot be waited for either: take it.
            if (indexOf_(objects_.front()) > nextRequiredFrameIndex_) {
                if (!exit_) {
                    condition_.wait(lock);
                    continue;
                }
                // Stopping with a gap that can never be filled: carry on with what is there
                // rather than waiting for ever.
                logMessage("A queued frame is missing; the frames after it are processed anyway.");
            }
            waiting_ = false;
            Object object = std::move(objects_.front());
            objects_.erase(objects_.begin());
            nextRequiredFrameIndex_ = std::max(nextRequiredFrameIndex_, indexOf_(object) + 1);
            lock.unlock();
            process(std::move(object));
            lock.lock();
        }
        lock.unlock();
        if (tearDown) tearDown();
    }

    IndexOf indexOf_;
    mutable Mutex mutex_;
    std::condition_variable_any condition_;
    Process process_ VTL_GUARDED_BY(mutex_);
    Hook setUp_ VTL_GUARDED_BY(mutex_);
    Hook tearDown_ VTL_GUARDED_BY(mutex_);
    Process drop_ VTL_GUARDED_BY(mutex_);
    std::vector<Object> objects_ VTL_GUARDED_BY(mutex_); // ascending frame index
    bool waiting_ VTL_GUARDED_BY(mutex_) = false;
    bool exit_ VTL_GUARDED_BY(mutex_) = false;
    std::int64_t nextRequiredFrameIndex_ VTL_GUARDED_BY(mutex_) = 0;
    // The one thread the loop runs on; only start and stop touch it.
    std::unique_ptr<DispatchWorkerGroup> worker_;
};

} // namespace vtl
