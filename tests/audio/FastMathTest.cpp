#include "audio/FastMath.h"

#include "audio/Biquad.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

namespace vtl {
namespace {

TEST(FastMath, PowerAndTanhFollowTheLibraryOverTheGainCurvesRange) {
    struct Case {
        double base, exponent;
    };
    // Levels from far below hearing to far above full scale, with the compressors' and the
    // expander's exponents.
    const Case cases[] = {{1e-30, -0.49},    {1e-12, -0.25},    {0.001, -0.45},    {0.5, -0.1},
                          {1.0, -0.5},       {1.0000001, -0.3}, {1.9999999, -0.3}, {2.0, -0.3},
                          {3.7, -0.0123},    {1e6, -0.49},      {1e-9, 24.5},      {0.99, 24.5},
                          {1.41421356, 0.5}, {1.41421357, 0.5}};
    for (const Case& c : cases) {
        const double expected = std::pow(c.base, c.exponent);
        EXPECT_NEAR(fastmath::power(c.base, c.exponent) / expected, 1.0, 1e-8) << c.base << "^" << c.exponent;
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponentOfTen(-30, 10);
    for (int i = 0; i < 10000; ++i) {
        const double base = std::pow(10.0, exponentOfTen(random));
        EXPECT_NEAR(fastmath::log2Positive(base), std::log2(base), 1e-10) << base;
    }
    for (double x : {-50.0, -3.0, -0.5, -1e-6, 0.0, 1e-9, 0.01, 0.3, 1.0, 2.5, 19.0, 400.0})
        EXPECT_NEAR(fastmath::tanh(x), std::tanh(x), 1e-8) << x;
    // Out of range: clamped, never undefined.
    EXPECT_EQ(fastmath::exp2(std::numeric_limits<double>::quiet_NaN()), fastmath::exp2(-1020));
    EXPECT_GT(fastmath::exp2(5000), 1e300);
    EXPECT_TRUE(std::isfinite(fastmath::power(std::numeric_limits<double>::denorm_min(), -0.5)));
}

TEST(FastMath, StereoSectionsGiveTheSamplesOfTwoChannelSections) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> sample(-1, 1);
    std::vector<float> left(1000), right(1000);
    for (std::size_t i = 0; i < left.size(); ++i)
        left[i] = sample(random), right[i] = sample(random);
    const auto coefficients = BiquadCoefficients::peaking(44100, 1000, 0.7, 9);

    Biquad perChannel, together;
    StereoBiquad pair;
    for (Biquad* b : {&perChannel, &together})
        b->setCoefficients(coefficients);
    pair.setCoefficients(coefficients);
    std::vector<float> l1 = left, r1 = right, l2 = left, r2 = right;
    // Two calls, so that the state carried from one to the next counts too.
    for (std::size_t from : {std::size_t(0), std::size_t(400)}) {
        const std::size_t n = from == 0 ? 400 : 600;
        perChannel.process(l1.data() + from, n, 0);
        perChannel.process(r1.data() + from, n, 1);
        together.processStereo(l2.data() + from, r2.data() + from, n);
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(l1[i], l2[i]) << i;
        ASSERT_EQ(r1[i], r2[i]) << i;
        const StereoBiquad::Pair y = pair.processSample(StereoBiquad::Pair{left[i], right[i]});
        ASSERT_EQ(static_cast<float>(y[0]), l1[i]) << i;
        ASSERT_EQ(static_cast<float>(y[1]), r1[i]) << i;
    }
}

} // namespace
} // namespace vtl
