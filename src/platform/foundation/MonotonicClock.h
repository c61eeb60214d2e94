#pragma once
// The one monotonic clock of the program: it paces capture, stamps display updates and times
// recordings and pools. Unaffected by changes of the wall clock; counted from an arbitrary start.

#include <cstdint>

namespace vtl {

std::uint64_t monotonicNanoseconds();
double monotonicSeconds();

} // namespace vtl
