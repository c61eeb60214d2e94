#include "platform/foundation/DispatchApply.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/DispatchWorkerGroup.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vtl {
namespace {

constexpr double generousTimeoutSeconds = 10.0;

TEST(Dispatch, SerialQueueRunsTasksInOrderOnOneThread) {
    auto queue = DispatchQueue::createSerial("order");
    std::vector<int> order;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 200; ++i)
        queue->async([&, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
            EXPECT_EQ(DispatchQueue::current(), queue.get());
        });
    queue->sync([] {});
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
}

TEST(Dispatch, SyncFromInsideItsOwnQueueRunsInsteadOfWaitingForItself) {
    auto queue = DispatchQueue::createSerial("reentrant");
    bool inner = false;
    queue->sync([&] { queue->sync([&] { inner = true; }); });
    EXPECT_TRUE(inner);
}

TEST(Dispatch, SyncRethrowsTheTaskException) {
    auto queue = DispatchQueue::createSerial("throws");
    EXPECT_THROW(queue->sync([] { throw std::runtime_error("x"); }), std::runtime_error);
    int after = 0;
    queue->sync([&] { after = 1; }); // the queue still works
    EXPECT_EQ(after, 1);
}

TEST(Dispatch, PendingTasksRunWhenTheLastHolderLetsGoEvenFromItsOwnTask) {
    std::atomic<int> ran{0};
    {
        auto queue = DispatchQueue::createSerial("drain");
        for (int i = 0; i < 10; ++i)
            queue->async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 10);

    std::atomic<bool> finished{false};
    auto queue = DispatchQueue::createSerial("self-release");
    auto* raw = new std::shared_ptr<DispatchQueue>(queue);
    queue.reset();
    (*raw)->async([raw, &finished] {
        delete raw; // the queue goes away from its own thread
        finished = true;
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return finished.load(); }, generousTimeoutSeconds));
}

TEST(Dispatch, ConcurrentQueueRunsEveryTask) {
    auto queue = DispatchQueue::createConcurrent("many");
    std::atomic<int> ran{0};
    for (int i = 0; i < 100; ++i)
        queue->async([&] { ++ran; });
    EXPECT_TRUE(runMainLoopUntil([&] { return ran.load() == 100; }, generousTimeoutSeconds));
}

TEST(Dispatch, ConcurrentQueueIsNotStarvedByBlockedTasks) {
    // More blocked tasks than cores: the pool must grow so the releasing task still runs.
    auto queue = DispatchQueue::createConcurrent("blocking");
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    std::atomic<int> finished{0};
    int blockers = static_cast<int>(std::thread::hardware_concurrency()) + 2;
    for (int i = 0; i < blockers; ++i)
        queue->async([&] {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return open; });
            ++finished;
        });
    queue->async([&] {
        std::lock_guard lock(mutex);
        open = true;
        released.notify_all();
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return finished.load() == blockers; }, generousTimeoutSeconds));
}

TEST(Dispatch, ApplyCoversEveryIndexExactlyOnce) {
    for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        std::vector<std::atomic<int>> hits(count);
        dispatchApply(count, [&](std::size_t i) { ++hits[i]; });
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(hits[i].load(), 1) << "count " << count << " index " << i;
    }
}

TEST(Dispatch, NestedApplyDoesNotDeadlock) {
    constexpr std::size_t outer = 16, inner = 64;
    std::vector<std::atomic<int>> hits(outer * inner);
    dispatchApply(
        outer, [&](std::size_t i) { dispatchApply(inner, [&](std::size_t j) { ++hits[i * inner + j]; }); });
    for (auto& hit : hits)
        EXPECT_EQ(hit.load(), 1);
}

TEST(Dispatch, ApplyRethrowsAfterEveryCallFinished) {
    std::atomic<int> calls{0};
    EXPECT_THROW(dispatchApply(50,
                               [&](std::size_t i) {
                                   ++calls;
                                   if (i == 3) throw std::runtime_error("bad");
                               }),
                 std::runtime_error);
    EXPECT_EQ(calls.load(), 50);
}

TEST(Dispatch, MainQueueTasksRunInOrderOnTheMainThreadDuringPasses) {
    ASSERT_TRUE(isMainThread());
    std::vector<int> order;
    std::atomic<bool> posted{false};
    std::thread worker([&] {
        EXPECT_FALSE(isMainThread());
        for (int i = 0; i < 5; ++i)
            DispatchQueue::mainQueue()->async([&, i] {
                EXPECT_TRUE(isMainThread());
                EXPECT_EQ(DispatchQueue::current(), DispatchQueue::mainQueue().get());
                order.push_back(i);
            });
        posted = true;
    });
    worker.join();
    EXPECT_TRUE(order.empty()); // nothing runs until the loop turns
    EXPECT_TRUE(runMainLoopOnce());
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(runMainLoopOnce());
}

TEST(Dispatch, TaskQueuedDuringAPassRunsInTheNextPassAfterTheEndOfPassObservers) {
    std::vector<std::string> events;
    auto token = MainLoop::addEndOfPassObserver([&] { events.push_back("end"); });
    DispatchQueue::mainQueue()->async([&] {
        events.push_back("first");
        DispatchQueue::mainQueue()->async([&] { events.push_back("second"); });
    });
    runMainLoopOnce();
    runMainLoopOnce();
    MainLoop::removeEndOfPassObserver(token);
    runMainLoopOnce();
    EXPECT_EQ(events, (std::vector<std::string>{"first", "end", "second", "end"}));
}

TEST(Dispatch, EndOfPassObserverMayRemoveAnotherDuringThePass) {
    int secondCalls = 0;
    MainLoop::Token second = 0;
    auto first = MainLoop::addEndOfPassObserver([&] { MainLoop::removeEndOfPassObserver(second); });
    second = MainLoop::addEndOfPassObserver([&] { ++secondCalls; });
    runMainLoopOnce();
    MainLoop::removeEndOfPassObserver(first);
    EXPECT_EQ(secondCalls, 0);
}

// Removes an end-of-pass observer when destroyed, as an object owning an undo manager does.
struct RemovesPassObserverWhenDestroyed {
    MainLoop::Token token;
    ~RemovesPassObserverWhenDestroyed() { MainLoop::removeEndOfPassObserver(token); }
};

TEST(Dispatch, RemovingAnEndOfPassObserverWhoseCapturesRemoveAnotherWhenReleased) {
    int calls = 0;
    const auto other = MainLoop::addEndOfPassObserver([&] { ++calls; });
    auto holder = std::make_shared<RemovesPassObserverWhenDestroyed>(other);
    const auto first = MainLoop::addEndOfPassObserver([holder] {});
    holder.reset();
    auto done = std::make_shared<std::promise<void>>();
    std::thread([first, done] {
        MainLoop::removeEndOfPassObserver(first);
        done->set_value();
    }).detach();
    ASSERT_EQ(done->get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    runMainLoopOnce();
    EXPECT_EQ(calls, 0);
}

TEST(Dispatch, WakeUpHookIsCalledOncePerPendingBatch) {
    std::atomic<int> wakes{0};
    runMainLoopOnce(); // start from an empty queue
    MainLoop::setWakeUpHook([&] { ++wakes; });
    DispatchQueue::mainQueue()->async([] {});
    DispatchQueue::mainQueue()->async([] {});
    EXPECT_EQ(wakes.load(), 1);
    runMainLoopOnce();
    DispatchQueue::mainQueue()->async([] {});
    EXPECT_EQ(wakes.load(), 2);
    MainLoop::setWakeUpHook(nullptr);
    runMainLoopOnce();
}

TEST(Dispatch, RunOnMainThreadAndWaitFromWorkerAndFromMain) {
    bool fromMain = false;
    runOnMainThreadAndWait([&] { fromMain = isMainThread(); });
    EXPECT_TRUE(fromMain);

    std::atomic<bool> workerDone{false};
    int value = 0;
    std::thread worker([&] {
        runOnMainThreadAndWait([&] { value = isMainThread() ? 42 : -1; });
        workerDone = true; // value is visible here: the wait has returned
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return workerDone.load(); }, generousTimeoutSeconds));
    worker.join();
    EXPECT_EQ(value, 42);
}

TEST(Dispatch, OneShotTimerFiresOnceOnTheMainQueue) {
    int fired = 0;
    auto timer = DispatchTimer::scheduleOnce(0.01, [&] {
        EXPECT_TRUE(isMainThread());
        ++fired;
    });
    EXPECT_TRUE(timer->isValid());
    EXPECT_TRUE(runMainLoopUntil([&] { return fired > 0; }, generousTimeoutSeconds));
    EXPECT_FALSE(timer->isValid());
    runMainLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(fired, 1);
}

TEST(Dispatch, CancelledTimersDoNotFire) {
    int fired = 0;
    auto once = DispatchTimer::scheduleOnce(0.01, [&] { ++fired; });
    once->cancel();
    EXPECT_FALSE(once->isValid());
    // Cancelled on the main thread after its fire was already queued: still must not run.
    auto queued = DispatchTimer::scheduleOnce(0.0, [&] { ++fired; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    queued->cancel();
    runMainLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(fired, 0);
}

TEST(Dispatch, RepeatingTimerFiresUntilCancelled) {
    int fired = 0;
    std::shared_ptr<DispatchTimer> timer;
    timer = DispatchTimer::scheduleRepeating(0.005, [&] {
        if (++fired == 3) timer->cancel();
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return fired >= 3; }, generousTimeoutSeconds));
    runMainLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(fired, 3);
}

TEST(Dispatch, VeryLongDelaysDoNotFireAtOnce) {
    int fired = 0;
    std::vector<std::shared_ptr<DispatchTimer>> timers;
    for (double delaySeconds : {1e10, 1e300, std::numeric_limits<double>::infinity()}) {
        timers.push_back(DispatchTimer::scheduleOnce(delaySeconds, [&] { ++fired; }));
        timers.push_back(DispatchTimer::scheduleRepeating(delaySeconds, [&] { ++fired; }));
    }
    runMainLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(fired, 0);
    for (const auto& timer : timers) {
        EXPECT_TRUE(timer->isValid());
        timer->cancel();
    }
}

// Schedules a timer when destroyed, as the captures of a task may do.
struct SchedulesWhenDestroyed {
    std::atomic<bool>* fired;
    ~SchedulesWhenDestroyed() {
        DispatchTimer::scheduleOnce(
            0.0, [fired = fired] { *fired = true; }, DispatchQueue::globalQueue());
    }
};

TEST(Dispatch, TimerWhoseTaskSchedulesWhenDroppedDoesNotStopTheTimers) {
    static std::atomic<bool> cancelledDropped{false};
    static std::atomic<bool> firedDropped{false};
    auto cancelled = DispatchTimer::scheduleOnce(
        0.01, [guard = std::make_shared<SchedulesWhenDestroyed>(&cancelledDropped)] {},
        DispatchQueue::globalQueue());
    cancelled->cancel();
    cancelled.reset(); // the timer service now holds the last reference
    auto repeating = DispatchTimer::scheduleRepeating(
        0.01, [guard = std::make_shared<SchedulesWhenDestroyed>(&firedDropped)] {},
        DispatchQueue::globalQueue());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    repeating->cancel();
    repeating.reset();
    EXPECT_TRUE(runMainLoopUntil([] { return cancelledDropped.load() && firedDropped.load(); },
                                 generousTimeoutSeconds));
}

TEST(Dispatch, TimerAndAfterOnAWorkerQueue) {
    auto queue = DispatchQueue::createSerial("timers");
    std::atomic<int> onQueue{0};
    DispatchTimer::scheduleOnce(
        0.01, [&] { onQueue += DispatchQueue::current() == queue.get() ? 1 : 100; }, queue);
    queue->after(0.01, [&] { onQueue += DispatchQueue::current() == queue.get() ? 1 : 100; });
    EXPECT_TRUE(runMainLoopUntil([&] { return onQueue.load() >= 2; }, generousTimeoutSeconds));
    EXPECT_EQ(onQueue.load(), 2);
}

TEST(Dispatch, AfterOnTheMainQueue) {
    bool ran = false;
    DispatchQueue::mainQueue()->after(0.01, [&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(runMainLoopUntil([&] { return ran; }, generousTimeoutSeconds));
}

TEST(DispatchWorkerGroup, ApplyCoversEveryIndexOnceAndNoWorkerRunsTwoBodiesAtOnce) {
    for (unsigned threads : {0u, 1u, 3u}) {
        DispatchWorkerGroup group(threads, "test");
        ASSERT_EQ(group.workerCount(), threads + 1);
        for (int round = 0; round < 20; ++round) {
            constexpr std::size_t count = 200;
            std::vector<std::atomic<int>> calls(count);
            std::vector<std::atomic<bool>> busy(group.workerCount());
            std::atomic<bool> overlapped{false};
            std::atomic<bool> badWorker{false};
            group.apply(count, [&](std::size_t index, unsigned worker) {
                if (worker >= group.workerCount()) {
                    badWorker = true;
                    return;
                }
                if (busy[worker].exchange(true)) overlapped = true;
                ++calls[index];
                std::this_thread::yield();
                busy[worker] = false;
            });
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(calls[i].load(), 1) << threads << " threads, index " << i;
            EXPECT_FALSE(overlapped) << "per-worker state would be shared";
            EXPECT_FALSE(badWorker);
        }
    }
}

TEST(DispatchWorkerGroup, ApplyRethrowsAfterEveryCallFinished) {
    DispatchWorkerGroup group(2, "test");
    std::atomic<int> finished{0};
    EXPECT_THROW(group.apply(50,
                             [&](std::size_t index, unsigned) {
                                 if (index == 7) throw std::runtime_error("piece 7");
                                 ++finished;
                             }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 49);
    // The group is still usable.
    std::atomic<int> again{0};
    group.apply(10, [&](std::size_t, unsigned) { ++again; });
    EXPECT_EQ(again.load(), 10);
}

TEST(DispatchWorkerGroup, JobsRunInOrderOnOneThreadAndDrainWaitsForThem) {
    DispatchWorkerGroup group(1, "test");
    std::vector<int> order;
    std::set<std::thread::id> threads;
    for (int i = 0; i < 100; ++i)
        group.async([&, i] {
            order.push_back(i);
            threads.insert(std::this_thread::get_id());
        });
    group.drain();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
}

TEST(DispatchWorkerGroup, GoingAwayRunsTheQueuedJobsAndNoThreadsMeansAtOnce) {
    std::atomic<int> ran{0};
    {
        DispatchWorkerGroup group(2, "test");
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        for (int i = 0; i < 2; ++i)
            group.async([released] { released.wait(); });
        for (int i = 0; i < 20; ++i)
            group.async([&] { ++ran; });
        release.set_value();
    }
    EXPECT_EQ(ran.load(), 20);

    DispatchWorkerGroup inline_(0, "test");
    std::thread::id where;
    inline_.async([&] { where = std::this_thread::get_id(); });
    EXPECT_EQ(where, std::this_thread::get_id());
    inline_.drain();
}

} // namespace
} // namespace vtl
