#include "platform/mainloop/TerminationSignals.h"

#include "platform/foundation/Log.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vtl {

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may only write to a descriptor; the main loop reads the other end.
std::atomic<int> gSignalWriteDescriptor{-1};

void forwardSignal(int) {
    const int saved = errno;
    const int descriptor = gSignalWriteDescriptor.load();
    char byte = 1;
    if (descriptor >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(descriptor, &byte, 1);
    }
    errno = saved;
}

} // namespace

struct TerminationSignals::Impl {
    int sockets[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> requested;

    ~Impl() {
        notifier.reset();
        for (int descriptor : sockets)
            if (descriptor >= 0) ::close(descriptor);
    }
};

TerminationSignals::TerminationSignals(std::function<void()> requested) {
    if (gSignalWriteDescriptor.load() >= 0) {
        assertionFailure(__FILE__, __LINE__, "Only one TerminationSignals may exist at a time.");
        return;
    }
    auto impl = std::make_unique<Impl>();
    impl->requested = std::move(requested);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, impl->sockets) != 0) {
        logMessage("The termination signals cannot be handled: no socket pair.");
        return;
    }
    Impl* raw = impl.get();
    impl->notifier = std::make_unique<QSocketNotifier>(impl->sockets[1], QSocketNotifier::Read);
    QObject::connect(impl->notifier.get(), &QSocketNotifier::activated, [raw] {
        char bytes[16];
        ssize_t count = 0;
        while ((count = ::read(raw->sockets[1], bytes, sizeof bytes)) > 0)
            for (ssize_t i = 0; i < count; ++i)
                if (raw->requested) raw->requested();
    });
    gSignalWriteDescriptor = impl->sockets[0];
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : handledSignals)
        sigaction(signalNumber, &action, nullptr);
    impl_ = std::move(impl);
}

TerminationSignals::~TerminationSignals() {
    if (!impl_) return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : handledSignals)
        sigaction(signalNumber, &action, nullptr);
    gSignalWriteDescriptor = -1;
    impl_.reset();
}

void TerminationSignals::ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace vtl
