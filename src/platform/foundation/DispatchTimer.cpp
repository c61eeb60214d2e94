#include "platform/foundation/DispatchTimer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace vtl {

using TimerClock = std::chrono::steady_clock;

namespace {
// Longer delays are treated as this one (about 30 years): the clock's count of nanoseconds would
// overflow within a few centuries, and an overflowed deadline lies in the past.
constexpr double longestDelaySeconds = 1e9;

TimerClock::duration durationOf(double seconds) {
    return std::chrono::duration_cast<TimerClock::duration>(std::chrono::duration<double>(seconds));
}
} // namespace

// One thread that waits for the next deadline and hands each due timer to its queue.
class DispatchTimerService {
public:
    static DispatchTimerService& shared() {
        // Never destroyed: its detached thread may outlive static destruction at exit.
        static auto* service = new DispatchTimerService();
        return *service;
    }

    void schedule(std::shared_ptr<DispatchTimer> timer, TimerClock::time_point deadline) {
        std::lock_guard lock(mutex_);
        entries_.push(Entry{deadline, sequence_++, std::move(timer)});
        if (!started_) {
            started_ = true;
            std::thread([this] { run(); }).detach();
        }
        wake_.notify_one();
    }

private:
    struct Entry {
        TimerClock::time_point deadline;
        std::uint64_t sequence;
        std::shared_ptr<DispatchTimer> timer;
        bool operator>(const Entry& other) const {
            return deadline != other.deadline ? deadline > other.deadline : sequence > other.sequence;
        }
    };

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (entries_.empty()) {
                wake_.wait(lock);
                continue;
            }
            // A copy: the heap may reallocate while waiting.
            const TimerClock::time_point next = entries_.top().deadline;
            if (next > TimerClock::now()) {
                wake_.wait_until(lock, next);
                continue;
            }
            Entry entry = entries_.top();
            entries_.pop();
            // Everything below runs unlocked: dropping the last reference to a timer destroys its
            // task and perhaps its queue, whose destructors may schedule timers themselves.
            lock.unlock();
            if (entry.timer->isValid()) {
                entry.timer->fire();
                if (entry.timer->repeats_ && entry.timer->isValid()) {
                    auto interval = durationOf(entry.timer->intervalSeconds_);
                    auto next = entry.deadline + interval;
                    auto now = TimerClock::now();
                    if (next <= now) next = now + interval; // behind: skip the missed fires
                    lock.lock();
                    entries_.push(Entry{next, sequence_++, std::move(entry.timer)});
                    continue;
                }
            }
            entry.timer.reset();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> entries_;
    std::uint64_t sequence_ = 0;
    bool started_ = false;
};

DispatchTimer::DispatchTimer(double intervalSeconds, bool repeats, DispatchTask task,
                             std::shared_ptr<DispatchQueue> queue)
    : intervalSeconds_(intervalSeconds)
    , repeats_(repeats)
    , task_(std::move(task))
    , queue_(std::move(queue)) {}

namespace {
std::shared_ptr<DispatchTimer> makeTimer(double seconds, bool repeats, DispatchTask task,
                                         std::shared_ptr<DispatchQueue> queue) {
    if (!queue) queue = DispatchQueue::mainQueue();
    // A repeating timer needs a positive interval or it would fire without pause.
    if (repeats && !(seconds > 0.0)) seconds = 0.001;
    if (!(seconds >= 0.0)) seconds = 0.0;
    if (seconds > longestDelaySeconds) seconds = longestDelaySeconds;
    return std::make_shared<DispatchTimer>(seconds, repeats, std::move(task), std::move(queue));
}

TimerClock::time_point deadlineAfter(double seconds) {
    return TimerClock::now() + durationOf(seconds);
}
} // namespace

std::shared_ptr<DispatchTimer> DispatchTimer::scheduleOnce(double delaySeconds, DispatchTask task,
                                                           std::shared_ptr<DispatchQueue> queue) {
    auto timer = makeTimer(delaySeconds, false, std::move(task), std::move(queue));
    DispatchTimerService::shared().schedule(timer, deadlineAfter(timer->intervalSeconds_));
    return timer;
}

std::shared_ptr<DispatchTimer> DispatchTimer::scheduleRepeating(double intervalSeconds, DispatchTask task,
                                                                std::shared_ptr<DispatchQueue> queue) {
    auto timer = makeTimer(intervalSeconds, true, std::move(task), std::move(queue));
    DispatchTimerService::shared().schedule(timer, deadlineAfter(timer->intervalSeconds_));
    return timer;
}

void DispatchTimer::cancel() {
    valid_ = false;
}

void DispatchTimer::fire() {
    if (firePending_.exchange(true)) return;
    queue_->async([self = shared_from_this()] {
        self->firePending_ = false;
        if (!self->repeats_) {
            if (!self->valid_.exchange(false)) return;
            DispatchTask task = std::move(self->task_);
            task();
            return;
        }
        if (self->valid_) self->task_();
    });
}

} // namespace vtl
