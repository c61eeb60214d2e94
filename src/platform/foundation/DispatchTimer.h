#pragma once
// One-shot and repeating timers that run their task on a queue (the main queue by default).
// A scheduled timer is kept alive by the timer service until it has fired (one-shot) or is
// cancelled, like a timer scheduled on a run loop; holders keep the handle to cancel it. Delays and
// intervals longer than about thirty years are shortened to that.

#include "platform/foundation/DispatchQueue.h"

#include <atomic>
#include <memory>

namespace vtl {

class DispatchTimer : public std::enable_shared_from_this<DispatchTimer> {
public:
    static std::shared_ptr<DispatchTimer> scheduleOnce(double delaySeconds, DispatchTask task,
                                                       std::shared_ptr<DispatchQueue> queue = nullptr);
    // Fires every interval; a fire still waiting on its queue is not doubled by the next one.
    static std::shared_ptr<DispatchTimer> scheduleRepeating(double intervalSeconds, DispatchTask task,
                                                            std::shared_ptr<DispatchQueue> queue = nullptr);

    // Stops the timer. Called on the timer's queue (the main thread for main-queue timers) it is
    // certain the task does not run afterwards; from elsewhere a fire already running finishes.
    void cancel();
    // True until cancelled, and for a one-shot timer until it has fired.
    bool isValid() const { return valid_.load(); }
    double intervalSeconds() const { return intervalSeconds_; }

    DispatchTimer(double intervalSeconds, bool repeats, DispatchTask task,
                  std::shared_ptr<DispatchQueue> queue);

private:
    friend class DispatchTimerService;
    void fire();

    double intervalSeconds_;
    bool repeats_;
    DispatchTask task_;
    std::shared_ptr<DispatchQueue> queue_;
    std::atomic<bool> valid_{true};
    std::atomic<bool> firePending_{false};
};

} // namespace vtl
