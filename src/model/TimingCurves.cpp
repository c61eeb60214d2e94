#include "model/TimingCurves.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

#include <cmath>

namespace vtl {

namespace {
constexpr double kHalfPi = 1.5707963267948966;
}

double animationProgressFromFraction(uint32_t kind, double f) {
    switch (kind) {
    case AnimationTimingLinear:
        return f;
    case AnimationTimingEaseInOut:
        return (f * -2.0 + 3.0) * (f * f);
    case AnimationTimingEaseIn: {
        // The last bits of every animated value depend on this single-precision sine.
        float argument = static_cast<float>((f + -1.0) * kHalfPi);
        return static_cast<double>(std::sin(argument)) + 1.0;
    }
    case AnimationTimingEaseOut: {
        float argument = static_cast<float>(f * kHalfPi);
        return static_cast<double>(std::sin(argument));
    }
    default:
        logMessage("unknown timing function!");
        return f;
    }
}

double animationProgressFromTimes(uint32_t kind, double time, double startTime, double endTime) {
    return animationProgressFromFraction(kind, (time - startTime) / (endTime - startTime));
}

std::string animationNameFromEnum(uint32_t kind) {
    switch (kind) {
    case AnimationTimingLinear:
        return localizedString("CompositionAnimationTimingFuctionLinear");
    case AnimationTimingEaseInOut:
        return localizedString("CompositionAnimationTimingFuctionEaseInOut");
    case AnimationTimingEaseIn:
        return localizedString("CompositionAnimationTimingFuctionEaseIn");
    case AnimationTimingEaseOut:
        return localizedString("CompositionAnimationTimingFuctionEaseOut");
    default:
        return "Unknown Animation Function!";
    }
}

} // namespace vtl
