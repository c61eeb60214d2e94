#pragma once
// The one binary search over lists kept ascending by time (keyframes, recorded metadata).
// Callers pass the element count and a function giving the time of element i; nothing is owned.
// Pure functions: thread safety is the caller's list lock.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtl {

// The element in effect at `time`: an element whose time equals it, else the last element whose
// time lies below it (the first element for a time before all, the last for a time after all).
// nullopt only for an empty list.
template <typename TimeAt>
std::optional<std::size_t> indexInEffectAtTime(std::size_t count, double time, TimeAt&& timeAt) {
    if (count == 0) return std::nullopt;
    if (count == 1) return std::size_t{0};
    std::ptrdiff_t lo = 0;
    std::ptrdiff_t hi = static_cast<std::ptrdiff_t>(count) - 1;
    std::ptrdiff_t mid = 0;
    std::optional<std::size_t> found;
    while (!found && hi >= lo) {
        mid = lo + (hi - lo) / 2;
        const double midTime = timeAt(static_cast<std::size_t>(mid));
        if (midTime == time) {
            found = static_cast<std::size_t>(mid);
        } else if (midTime > time) {
            hi = mid - 1;
        } else {
            lo = mid + 1;
        }
        if (!found && mid + 1 < static_cast<std::ptrdiff_t>(count) && midTime < time &&
            timeAt(static_cast<std::size_t>(mid + 1)) > time) {
            found = static_cast<std::size_t>(mid);
        }
    }
    return found ? found : std::optional<std::size_t>(static_cast<std::size_t>(mid));
}

// Where an element with `time` goes so the list stays ascending: the first index whose time is
// at or after it (so it lands before equal times), or `count`.
template <typename TimeAt>
std::size_t insertionIndexForTime(std::size_t count, double time, TimeAt&& timeAt) {
    std::size_t lo = 0;
    std::size_t hi = count;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (timeAt(mid) < time) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

} // namespace vtl
