#pragma once
// One connection to the PulseAudio server: a threaded main loop and a context. Shared by the
// device layer and every stream opened through it (streams keep it alive). Calls into the server
// are made with lock() held; the server's callbacks run on the loop's thread with it held.
// Internal to platform/audio.

#include "platform/foundation/Result.h"

#include <functional>
#include <memory>
#include <pulse/pulseaudio.h>

namespace vtl::detail {

class PulseConnection {
public:
    // Connects, waiting at most timeoutSeconds for the server.
    static Result<std::shared_ptr<PulseConnection>> open(double timeoutSeconds);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_context* context() const { return context_; }
    void lock();
    void unlock();
    // With lock() held.
    bool isReady() const;
    // With lock() held: waits until done() holds, releasing the lock in between; false on timeout
    // or when the connection failed meanwhile.
    bool waitFor(const std::function<bool()>& done, double timeoutSeconds);
    // With lock() held: waits for the operation to finish (cancelling it on timeout) and unrefs it.
    bool waitForOperation(pa_operation* operation, double timeoutSeconds);

    // The server's last error as text.
    std::string lastError() const;

private:
    PulseConnection() = default;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

// Locks a connection for a scope.
class PulseLock {
public:
    explicit PulseLock(PulseConnection& connection)
        : connection_(connection) {
        connection_.lock();
    }
    ~PulseLock() { connection_.unlock(); }
    PulseLock(const PulseLock&) = delete;
    PulseLock& operator=(const PulseLock&) = delete;

private:
    PulseConnection& connection_;
};

} // namespace vtl::detail
