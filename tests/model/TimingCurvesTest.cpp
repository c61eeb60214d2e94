#include "model/TimingCurves.h"

#include "platform/foundation/Log.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace vtl {
namespace {

// Kinds by their stored numbers, known or not.
AnimationTimingKind kind(uint32_t number) {
    return static_cast<AnimationTimingKind>(number);
}

TEST(TimingCurves, ProgressAtTheEdgesAndMiddle) {
    struct Case {
        uint32_t kind;
        double fraction;
        double expected;
        double tolerance;
    };
    const Case cases[] = {
        {0, 0, 0, 0},
        {1, 0, 0, 0},
        {2, 0, 0, 1e-7},
        {3, 0, 0, 0},
        {0, 1, 1, 0},
        {1, 1, 1, 0},
        {2, 1, 1, 0},
        {3, 1, 1, 1e-7},
        {0, 0.5, 0.5, 0},
        {1, 0.5, 0.5, 0},
        {2, 0.5, 0.29289, 1e-5},
        {3, 0.5, 0.70711, 1e-5},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(animationProgressFromFraction(kind(c.kind), c.fraction), c.expected, c.tolerance)
            << "kind " << c.kind << " at " << c.fraction;
    }
}

TEST(TimingCurves, SineCurvesAreEvaluatedInSinglePrecision) {
    // The stored animations depend on the exact single-precision result.
    double f = 0.3;
    float arg3 = static_cast<float>(f * 1.5707963267948966);
    EXPECT_EQ(animationProgressFromFraction(kind(3), f), static_cast<double>(std::sin(arg3)));
    float arg2 = static_cast<float>((f - 1.0) * 1.5707963267948966);
    EXPECT_EQ(animationProgressFromFraction(kind(2), f), static_cast<double>(std::sin(arg2)) + 1.0);
    EXPECT_EQ(animationProgressFromFraction(kind(1), f), (f * -2.0 + 3.0) * (f * f));
}

TEST(TimingCurves, UnknownKindLogsAndActsLinear) {
    std::string logged;
    auto previous = setLogSink([&](std::string_view line) { logged = line; });
    EXPECT_EQ(animationProgressFromFraction(kind(7), 0.42), 0.42);
    setLogSink(previous);
    EXPECT_EQ(logged, "unknown timing function!");
    EXPECT_EQ(animationNameFromEnum(kind(7)), "Unknown Animation Function!");
}

TEST(TimingCurves, ProgressFromTimesAndNames) {
    EXPECT_DOUBLE_EQ(animationProgressFromTimes(kind(0), 3, 2, 6), 0.25);
    EXPECT_NEAR(animationProgressFromTimes(kind(3), 4, 2, 6), 0.70711, 1e-5);
    EXPECT_EQ(animationNameFromEnum(kind(0)), "Linear");
    EXPECT_EQ(animationNameFromEnum(kind(1)), "Ease In and Out");
    EXPECT_EQ(animationNameFromEnum(kind(2)), "Ease In");
    EXPECT_EQ(animationNameFromEnum(kind(3)), "Ease Out");
}

} // namespace
} // namespace vtl
