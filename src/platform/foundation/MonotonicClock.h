#pragma once
// The clock that paces capture and stamps display updates: monotonic, unaffected by changes of
// the wall clock, in nanoseconds from an arbitrary start.

#include <cstdint>

namespace vtl {

std::uint64_t monotonicNanoseconds();
double monotonicSeconds();

} // namespace vtl
