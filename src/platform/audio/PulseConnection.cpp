#include "platform/audio/PulseConnection.h"

#include <chrono>
#include <thread>

namespace vtl::detail {

namespace {

void contextStateChanged(pa_context*, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

} // namespace

Result<std::shared_ptr<PulseConnection>> PulseConnection::open(double timeoutSeconds) {
    std::shared_ptr<PulseConnection> connection(new PulseConnection());
    connection->mainloop_ = pa_threaded_mainloop_new();
    if (!connection->mainloop_) return fail("The audio server's event loop could not be made.");
    pa_threaded_mainloop_set_name(connection->mainloop_, "vistrel-audio");
    if (pa_threaded_mainloop_start(connection->mainloop_) < 0)
        return fail("The audio server's event loop could not be started.");
    PulseLock lock(*connection);
    connection->context_ = pa_context_new(pa_threaded_mainloop_get_api(connection->mainloop_), "Vistrel");
    if (!connection->context_) return fail("The audio server connection could not be made.");
    pa_context_set_state_callback(connection->context_, contextStateChanged, connection->mainloop_);
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return fail("The audio server cannot be reached: " + connection->lastError() + ".");
    const bool ready = connection->waitFor(
        [&] {
            const pa_context_state_t state = pa_context_get_state(connection->context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeoutSeconds);
    if (!ready || !connection->isReady())
        return fail("The audio server cannot be reached: " + connection->lastError() + ".");
    return connection;
}

PulseConnection::~PulseConnection() {
    if (context_) {
        lock();
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        unlock();
    }
    if (mainloop_) {
        pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
    }
}

void PulseConnection::lock() {
    pa_threaded_mainloop_lock(mainloop_);
}
void PulseConnection::unlock() {
    pa_threaded_mainloop_unlock(mainloop_);
}

bool PulseConnection::isReady() const {
    return context_ && pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseConnection::waitFor(const std::function<bool()>& done, double timeoutSeconds) {
    // Polling rather than pa_threaded_mainloop_wait: a server that stops answering must not hang us.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!done()) {
        if (context_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        lock();
    }
    return true;
}

bool PulseConnection::waitForOperation(pa_operation* operation, double timeoutSeconds) {
    if (!operation) return false;
    const bool done =
        waitFor([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, timeoutSeconds);
    if (!done) pa_operation_cancel(operation);
    const bool finished = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return done && finished;
}

std::string PulseConnection::lastError() const {
    if (!context_) return "no connection";
    return pa_strerror(pa_context_errno(context_));
}

} // namespace vtl::detail
