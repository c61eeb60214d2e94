#include "platform/foundation/MonotonicClock.h"

#include <time.h>

namespace vtl {

std::uint64_t monotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(ts.tv_nsec);
}

double monotonicSeconds() {
    return static_cast<double>(monotonicNanoseconds()) / 1e9;
}

} // namespace vtl
