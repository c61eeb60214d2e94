#pragma once
// Finds the picture shown at a time, exactly: the one whose display interval (its start up to
// the next picture's start; for the last one, up to its own end) holds the time. Keeps the found
// picture and the one after it, decodes forward while the target lies before the next key frame
// and seeks otherwise (backing off when a seek lands late). Owned with its decoder by one user.

#include "platform/foundation/Result.h"
#include "platform/media/detail/VideoDecoder.h"

namespace vtl::detail {

class FrameLocator {
public:
    explicit FrameLocator(VideoDecoder& decoder)
        : decoder_(decoder) {}

    enum class Outcome { Found, BeforeFirstFrame, PastEnd };
    // On Found, current() is the picture for `ticks`.
    Result<Outcome> locate(std::int64_t ticks);
    // Moves to the picture after the current one (the first one when there is none yet); false at
    // the end of the track.
    Result<bool> advance();

    const DecodedPicture& current() const { return current_; }
    // How long the current picture shows; needs the next picture (decoded when not yet known).
    Result<std::int64_t> currentDuration();
    // Forgets both pictures (the decoder was repositioned from outside).
    void reset();

    // Seeks made so far (for tests and benchmarks).
    int seekCount() const { return seekCount_; }
    int decodeCount() const { return decodeCount_; }

private:
    enum class Forward { Found, Overshot, PastEnd, Empty };
    Result<Forward> decodeForwardTo(std::int64_t ticks);
    Result<bool> fillNext();

    VideoDecoder& decoder_;
    DecodedPicture current_;
    DecodedPicture next_;
    bool endReached_ = false;
    int seekCount_ = 0;
    int decodeCount_ = 0;
};

} // namespace vtl::detail
