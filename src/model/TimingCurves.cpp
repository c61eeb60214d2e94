#include "model/TimingCurves.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

#include <cmath>

namespace vtl {

namespace {
constexpr double kHalfPi = 1.5707963267948966;
}

double animationProgressFromFraction(AnimationTimingKind kind, double f) {
    switch (kind) {
    case AnimationTimingKind::Linear:
        return f;
    case AnimationTimingKind::EaseInOut:
        return (f * -2.0 + 3.0) * (f * f);
    case AnimationTimingKind::EaseIn: {
        // The last bits of every animated value depend on this single-precision sine.
        float argument = static_cast<float>((f + -1.0) * kHalfPi);
        return static_cast<double>(std::sin(argument)) + 1.0;
    }
    case AnimationTimingKind::EaseOut: {
        float argument = static_cast<float>(f * kHalfPi);
        return static_cast<double>(std::sin(argument));
    }
    default:
        logMessage("unknown timing function!");
        return f;
    }
}

double animationProgressFromTimes(AnimationTimingKind kind, double time, double startTime, double endTime) {
    return animationProgressFromFraction(kind, (time - startTime) / (endTime - startTime));
}

std::string animationNameFromEnum(AnimationTimingKind kind) {
    switch (kind) {
    case AnimationTimingKind::Linear:
        return localizedString("CompositionAnimationTimingFuctionLinear");
    case AnimationTimingKind::EaseInOut:
        return localizedString("CompositionAnimationTimingFuctionEaseInOut");
    case AnimationTimingKind::EaseIn:
        return localizedString("CompositionAnimationTimingFuctionEaseIn");
    case AnimationTimingKind::EaseOut:
        return localizedString("CompositionAnimationTimingFuctionEaseOut");
    default:
        return "Unknown Animation Function!";
    }
}

} // namespace vtl
