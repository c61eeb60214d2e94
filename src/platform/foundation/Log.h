#pragma once
// Plain-sentence logging and the one assertion handler of the program.
// Both are process-wide; a test may install a sink to read what was logged.

#include <functional>
#include <string>
#include <string_view>

namespace vtl {

// Writes one line to the log (standard error unless a sink is installed). Thread-safe.
void logMessage(std::string_view message);

// Logs the message only the first time this key is seen, so a fault met per frame is logged once.
void logOnce(std::string_view key, std::string_view message);

using LogSink = std::function<void(std::string_view)>;
// Replaces the destination of log lines; an empty sink restores standard error. Returns the previous sink.
LogSink setLogSink(LogSink sink);

// Programming errors: logs "Assertion failure in FILE:LINE: MESSAGE". In debug builds with
// VISTREL_ASSERT_ABORT set in the environment it aborts; otherwise it returns so the caller can
// report and return a neutral value.
void assertionFailure(const char* file, int line, std::string_view message);

// Number of assertion failures so far (tests read it).
int assertionFailureCount();

} // namespace vtl

#define VTL_ASSERT(condition, message)                                                                       \
    do {                                                                                                     \
        if (!(condition)) ::vtl::assertionFailure(__FILE__, __LINE__, (message));                            \
    } while (0)
