#pragma once
// Drives the main queue. Foundation knows no event loop: the program installs a wake-up hook
// (the Qt adaptor in platform/mainloop posts to the application's event loop) and the loop calls
// performPendingTasks() and endPass(); tests drive it by hand with runMainLoopOnce/Until.
// The end of a pass is when observers such as the undo manager close what they opened during it.

#include <cstdint>
#include <functional>

namespace vtl {

class MainLoop {
public:
    using Token = std::uint64_t;

    // Called (from any thread, at most once until the next performPendingTasks) when main-queue
    // work becomes pending. Empty restores the default (waking a hand-driven loop only).
    static void setWakeUpHook(std::function<void()> hook);

    // Asks the loop for a pass even when no task is pending (so the end of the pass comes).
    static void wakeUp();

    // Main thread: runs the tasks that were pending when called; tasks they queue wait for the
    // next pass. Returns whether any task ran.
    static bool performPendingTasks();

    // Main thread: the current pass is over; calls the end-of-pass observers in the order added.
    static void endPass();

    // Observers of the end of a pass, called on the main thread. Removal is safe from inside one.
    static Token addEndOfPassObserver(std::function<void()> observer);
    static void removeEndOfPassObserver(Token token);

    // Whether main-queue tasks are pending.
    static bool hasPendingTasks();
};

// Hand-driven loop (tests, tools without an event loop), main thread only. One pass: waits up to
// waitSeconds for a task when none is pending, runs the pending tasks, then ends the pass.
// Returns whether any task ran.
bool runMainLoopOnce(double waitSeconds = 0);

// Runs passes until the predicate holds or the timeout has passed; returns the predicate's value.
bool runMainLoopUntil(const std::function<bool()>& predicate, double timeoutSeconds);

} // namespace vtl
