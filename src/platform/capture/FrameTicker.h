#pragma once
// Paces a display stream on fixed ticks of the monotonic clock, counted from the start: tick k
// falls at start + k × interval, whatever happened before it. A change waits for the first tick
// at or after it; a grab that comes late is taken at once and stamped with the last tick it
// reached, and the ticks it passed over are counted as missed, so lateness never carries over to
// later frames. Times are nanoseconds of whatever clock the owner reads (the monotonic clock in
// a stream, made-up times in tests). Owned by one display stream, used on its thread only.

#include <cstdint>

namespace vtl {

class FrameTicker {
public:
    // interval: nanoseconds between ticks (may be fractional: 1e9 / 60).
    explicit FrameTicker(double intervalNanoseconds);

    // Tick 0 falls at `nowNanoseconds`; counters start again.
    void start(std::uint64_t nowNanoseconds);

    // The tick at which a change that has been waiting since `pendingSinceNanoseconds` may be
    // grabbed: the first tick at or after it that follows the last grab.
    std::uint64_t dueTime(std::uint64_t pendingSinceNanoseconds) const;

    // Records a grab at `nowNanoseconds` of a change waiting since `pendingSinceNanoseconds`
    // (nowNanoseconds at or after dueTime) and answers the grab's time: the last tick at or before
    // now. The next grab may come at the tick after it.
    std::uint64_t take(std::uint64_t nowNanoseconds, std::uint64_t pendingSinceNanoseconds);

    // Ticks at which a waiting change could not be grabbed because the stream was late.
    std::uint64_t missedTicks() const { return missed_; }
    std::uint64_t takenTicks() const { return taken_; }
    double intervalNanoseconds() const { return interval_; }

private:
    std::uint64_t tickTime(std::uint64_t index) const;
    // Index of the last tick at or before `time` (0 before the start).
    std::uint64_t tickAtOrBefore(std::uint64_t time) const;
    // Index of the first tick at or after `time`.
    std::uint64_t tickAtOrAfter(std::uint64_t time) const;

    double interval_;
    std::uint64_t start_ = 0;
    std::uint64_t nextAllowedTick_ = 0;
    std::uint64_t missed_ = 0;
    std::uint64_t taken_ = 0;
};

} // namespace vtl
