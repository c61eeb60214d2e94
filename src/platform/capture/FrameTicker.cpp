#include "platform/capture/FrameTicker.h"

#include <algorithm>
#include <cmath>

namespace vtl {

FrameTicker::FrameTicker(double intervalNanoseconds)
    : interval_(std::isfinite(intervalNanoseconds) && intervalNanoseconds >= 1.0 ? intervalNanoseconds
                                                                                 : 1.0) {}

void FrameTicker::start(std::uint64_t nowNanoseconds) {
    start_ = nowNanoseconds;
    nextAllowedTick_ = 0;
    missed_ = 0;
    taken_ = 0;
}

// Each tick is computed from the start, not from the previous one, so rounding never adds up.
std::uint64_t FrameTicker::tickTime(std::uint64_t index) const {
    return start_ + static_cast<std::uint64_t>(std::llround(static_cast<double>(index) * interval_));
}

std::uint64_t FrameTicker::tickAtOrBefore(std::uint64_t time) const {
    if (time <= start_) return 0;
    auto index = static_cast<std::uint64_t>(static_cast<double>(time - start_) / interval_);
    // The division may land one off either way of a tick computed with rounding.
    while (index > 0 && tickTime(index) > time)
        --index;
    while (tickTime(index + 1) <= time)
        ++index;
    return index;
}

std::uint64_t FrameTicker::tickAtOrAfter(std::uint64_t time) const {
    const std::uint64_t before = tickAtOrBefore(time);
    return tickTime(before) >= time ? before : before + 1;
}

std::uint64_t FrameTicker::dueTime(std::uint64_t pendingSinceNanoseconds) const {
    return tickTime(std::max(nextAllowedTick_, tickAtOrAfter(pendingSinceNanoseconds)));
}

std::uint64_t FrameTicker::take(std::uint64_t nowNanoseconds, std::uint64_t pendingSinceNanoseconds) {
    const std::uint64_t due = std::max(nextAllowedTick_, tickAtOrAfter(pendingSinceNanoseconds));
    const std::uint64_t reached = std::max(due, tickAtOrBefore(nowNanoseconds));
    missed_ += reached - due;
    ++taken_;
    nextAllowedTick_ = reached + 1;
    return tickTime(reached);
}

} // namespace vtl
