#include "platform/foundation/Log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

namespace vtl {
namespace {
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}
LogSink& sinkStorage() {
    static LogSink sink;
    return sink;
}
std::atomic<int> gAssertionFailures{0};
} // namespace

void logMessage(std::string_view message) {
    std::lock_guard lock(logMutex());
    if (auto& sink = sinkStorage()) {
        sink(message);
        return;
    }
    std::fprintf(stderr, "vistrel: %.*s\n", static_cast<int>(message.size()), message.data());
}

void logOnce(std::string_view key, std::string_view message) {
    static std::mutex onceMutex;
    static std::set<std::string, std::less<>> seen;
    {
        std::lock_guard lock(onceMutex);
        if (!seen.emplace(key).second) return;
    }
    logMessage(message);
}

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(logMutex());
    LogSink previous = std::move(sinkStorage());
    sinkStorage() = std::move(sink);
    return previous;
}

void assertionFailure(const char* file, int line, std::string_view message) {
    ++gAssertionFailures;
    std::string_view path(file);
    if (auto slash = path.rfind('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    logMessage("Assertion failure in " + std::string(path) + ":" + std::to_string(line) + ": " +
               std::string(message));
#ifndef NDEBUG
    if (std::getenv("VISTREL_ASSERT_ABORT")) std::abort();
#endif
}

int assertionFailureCount() {
    return gAssertionFailures.load();
}

} // namespace vtl
