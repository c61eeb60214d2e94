#include "platform/media/detail/FrameLocator.h"

#include <limits>

namespace vtl::detail {

namespace {

// Seeks that land after the target back off this many times (doubling from one second) before
// decoding from the start.
constexpr int maximumBackoffs = 6;

} // namespace

void FrameLocator::reset() {
    current_.reset();
    next_.reset();
    endReached_ = false;
}

Result<bool> FrameLocator::fillNext() {
    if (next_.isValid()) return true;
    if (endReached_) return false;
    auto decoded = decoder_.decodeNext(next_);
    if (!decoded) return decoded.asFailure();
    if (!*decoded) {
        endReached_ = true;
        return false;
    }
    ++decodeCount_;
    return true;
}

Result<FrameLocator::Forward> FrameLocator::decodeForwardTo(std::int64_t ticks) {
    for (;;) {
        auto filled = fillNext();
        if (!filled) return filled.asFailure();
        if (!*filled) {
            if (!current_.isValid()) return Forward::Empty;
            const __int128 end = static_cast<__int128>(current_.time) + current_.duration;
            return ticks < end ? Forward::Found : Forward::PastEnd;
        }
        if (next_.time <= ticks) {
            current_ = std::move(next_);
            next_.reset();
            continue;
        }
        return current_.isValid() ? Forward::Found : Forward::Overshot;
    }
}

Result<FrameLocator::Outcome> FrameLocator::locate(std::int64_t ticks) {
    if (current_.isValid() && current_.time <= ticks) {
        if (next_.isValid() && ticks < next_.time) return Outcome::Found;
        if (!next_.isValid() && endReached_) {
            const __int128 end = static_cast<__int128>(current_.time) + current_.duration;
            return ticks < end ? Outcome::Found : Outcome::PastEnd;
        }
        if (!decoder_.seekSkipsWork(ticks)) {
            auto forward = decodeForwardTo(ticks);
            if (!forward) return forward.asFailure();
            if (*forward == Forward::Found) return Outcome::Found;
            if (*forward == Forward::PastEnd) return Outcome::PastEnd;
        }
    }

    std::int64_t backoff = 0;
    const std::int64_t oneSecond =
        std::max<std::int64_t>(1, av_rescale_q(1, AVRational{1, 1}, decoder_.timeBase()));
    for (int attempt = 0; attempt <= maximumBackoffs + 1; ++attempt) {
        const bool fromStart = attempt > maximumBackoffs || static_cast<__int128>(ticks) - backoff <
                                                                std::numeric_limits<std::int64_t>::min() / 4;
        reset();
        ++seekCount_;
        Status sought = fromStart ? decoder_.seekToStart() : decoder_.seekTo(ticks - backoff);
        if (!sought) return sought.asFailure();
        auto forward = decodeForwardTo(ticks);
        if (!forward) return forward.asFailure();
        switch (*forward) {
        case Forward::Found:
            return Outcome::Found;
        case Forward::PastEnd:
            return Outcome::PastEnd;
        case Forward::Overshot:
        case Forward::Empty:
            // Landed after the target (or on nothing): unless this was the start, look earlier.
            if (fromStart) {
                if (*forward == Forward::Empty)
                    return fail("The video track has no pictures that can be decoded.");
                return Outcome::BeforeFirstFrame;
            }
            backoff = backoff == 0 ? oneSecond : backoff * 2;
            break;
        }
    }
    return Outcome::BeforeFirstFrame;
}

Result<bool> FrameLocator::advance() {
    auto filled = fillNext();
    if (!filled) return filled.asFailure();
    if (!*filled) return false;
    current_ = std::move(next_);
    next_.reset();
    return true;
}

Result<std::int64_t> FrameLocator::currentDuration() {
    if (!current_.isValid()) return std::int64_t{0};
    auto filled = fillNext();
    if (!filled) return filled.asFailure();
    if (*filled && next_.time > current_.time) return next_.time - current_.time;
    return current_.duration;
}

} // namespace vtl::detail
