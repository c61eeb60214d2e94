#pragma once
// The four timing curves along which every animated value moves from one keyframe to the next.
// The earlier keyframe's kind governs the stretch. Stateless; safe from any thread.

#include <cstdint>
#include <string>

namespace vtl {

enum AnimationTimingKind : uint32_t {
    AnimationTimingLinear = 0,
    AnimationTimingEaseInOut = 1,
    AnimationTimingEaseIn = 2,
    AnimationTimingEaseOut = 3,
};

// Progress along the curve for a fraction of the stretch (not clamped). Unknown kinds log and act as linear.
double animationProgressFromFraction(uint32_t kind, double fraction);
// Progress at `time` between the absolute times of two bracketing keyframes.
double animationProgressFromTimes(uint32_t kind, double time, double startTime, double endTime);
// The localized display name of a kind; "Unknown Animation Function!" above 3.
std::string animationNameFromEnum(uint32_t kind);

} // namespace vtl
