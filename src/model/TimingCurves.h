#pragma once
// The four timing curves along which every animated value moves from one keyframe to the next.
// The earlier keyframe's kind governs the stretch. Stateless; safe from any thread.

#include <cstdint>
#include <string>

namespace vtl {

// Stored as its number in rectangular keyframes. A number without a curve is kept as it is (the
// functions below treat it as linear), so a document from a later version keeps it.
enum class AnimationTimingKind : uint32_t {
    Linear = 0,
    EaseInOut = 1,
    EaseIn = 2,
    EaseOut = 3,
};

// Progress along the curve for a fraction of the stretch (not clamped). Unknown kinds log and act as linear.
double animationProgressFromFraction(AnimationTimingKind kind, double fraction);
// Progress at `time` between the absolute times of two bracketing keyframes.
double animationProgressFromTimes(AnimationTimingKind kind, double time, double startTime, double endTime);
// The localized display name of a kind; "Unknown Animation Function!" above 3.
std::string animationNameFromEnum(AnimationTimingKind kind);

} // namespace vtl
