#include "platform/foundation/InterruptSignals.h"

#include <atomic>
#include <csignal>
#include <mutex>

namespace vtl::interrupts {

namespace {

std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

extern "C" void noteSignal(int signal) {
    int none = 0;
    caught.compare_exchange_strong(none, signal);
}

} // namespace

void catchInterrupts() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = noteSignal;
        sigemptyset(&action.sa_mask);
        // Interrupted system calls resume: the work goes on until it looks at the signal.
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    });
}

int caughtSignal() {
    return caught.load();
}

void endAsInterrupted() {
    const int signal = caught.load();
    if (signal == 0) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    std::raise(signal);
}

} // namespace vtl::interrupts
