// How soon an oversized session-bus call is refused (the goal is within a second of sending it),
// beside what carrying the same bytes to the object and back costs (an unknown operation, refused
// as soon as it arrives) and a small call. A private bus daemon of this program; server and
// caller share the main thread, so a waiting call lets the server answer.

#include "ipc/PrivateSessionBus.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/RemoteObjectProxy.h"
#include "platform/ipc/RemoteObjectServer.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

using namespace vtl;

constexpr const char* kServiceName = "com.morlunesoftware.vistrel3.bench.service";
constexpr const char* kInterface = "com.morlunesoftware.vistrel3.bench.Echo";
// The size of call that once made the recorder's control object deaf.
constexpr std::size_t kOversizedBytes = std::size_t{63} << 20;
constexpr int kCallTimeoutMilliseconds = 120000;

struct Bus {
    std::unique_ptr<BusConnection> server;
    std::unique_ptr<BusConnection> client;
    std::unique_ptr<RemoteObjectServer> object;
    std::string error;
};

// The echo object on the private bus, trusting every caller (or none), made once.
Bus& bus(bool trusting) {
    static Bus made[2];
    Bus& b = made[trusting ? 1 : 0];
    if (b.object || !b.error.empty()) return b;
    if (!vtl::testing::startPrivateSessionBus(b.error)) return b;
    vtl::testing::ensureApplication();
    b.server = BusConnection::openSeparate(b.error);
    b.client = BusConnection::openSeparate(b.error);
    if (!b.server || !b.client) return b;
    auto echo = [](const IpcArguments& a) {
        IpcReply reply;
        reply.value = a.at(0);
        return reply;
    };
    b.object = RemoteObjectServer::create(
        *b.server, kInterface, {{"echoBytes", "ay", "ay", false, echo}},
        [trusting](const std::string&, IpcCallerDecision decided) {
            decided(trusting, trusting ? "" : "not the main application");
        },
        b.error);
    const std::string name = std::string(kServiceName) + (trusting ? ".trusting" : ".wary");
    if (b.object && !b.server->requestName(name, b.error)) b.object.reset();
    return b;
}

void call(benchmark::State& state, bool trusting, const char* method, std::size_t bytes,
          const char* expectedError) {
    Bus& b = bus(trusting);
    if (!b.object) {
        state.SkipWithError(("no private session bus: " + b.error).c_str());
        return;
    }
    const std::string name = std::string(kServiceName) + (trusting ? ".trusting" : ".wary");
    RemoteObjectProxy proxy(*b.client, name, kInterface);
    proxy.setHandlesEventsWhileWaiting(true);
    const IpcArguments arguments = {IpcBytes(bytes, 0x42)};
    for (auto _ : state) {
        IpcReply reply = proxy.call(method, arguments, kCallTimeoutMilliseconds);
        const bool asExpected = expectedError ? reply.errorName == expectedError : static_cast<bool>(reply);
        if (!asExpected) {
            state.SkipWithError(("unexpected answer: " + reply.errorName + " " + reply.error).c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

// The owner's call of 63 MiB, refused for its size.
void BM_OversizedCallRefusedForItsSize(benchmark::State& state) {
    call(state, true, "echoBytes", kOversizedBytes, "org.freedesktop.DBus.Error.LimitsExceeded");
}
BENCHMARK(BM_OversizedCallRefusedForItsSize)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A stranger's call of 63 MiB, refused for its caller.
void BM_OversizedCallRefusedForItsCaller(benchmark::State& state) {
    call(state, false, "echoBytes", kOversizedBytes, "org.freedesktop.DBus.Error.AccessDenied");
}
BENCHMARK(BM_OversizedCallRefusedForItsCaller)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The floor: the same bytes to an operation the object does not have.
void BM_OversizedCallToAnUnknownOperation(benchmark::State& state) {
    call(state, true, "noSuchOperation", kOversizedBytes, "org.freedesktop.DBus.Error.UnknownMethod");
}
BENCHMARK(BM_OversizedCallToAnUnknownOperation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A call at the limit, answered.
void BM_CallAtTheLimitAnswered(benchmark::State& state) {
    call(state, true, "echoBytes", kMaximumArgumentBytes, nullptr);
}
BENCHMARK(BM_CallAtTheLimitAnswered)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
