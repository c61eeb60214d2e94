#include "platform/foundation/Geometry.h"

#include "platform/foundation/AffineTransform.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vtl {
namespace {

TEST(GeometryText, WritesTheStoredForms) {
    EXPECT_EQ(stringFromPoint({10, -2.5}), "{10, -2.5}");
    EXPECT_EQ(stringFromSize({1280, 720}), "{1280, 720}");
    EXPECT_EQ(stringFromRect({0, 0, 100, 50}), "{{0, 0}, {100, 50}}");
    EXPECT_EQ(stringFromPoint({-0.0, 0.1}), "{0, 0.1}");
}

TEST(GeometryText, RoundTripsExactly) {
    const Rect samples[] = {{0.1, 1.0 / 3.0, 1e-9, 12345678.9}, {-20000, -0.5, 0, 0}, {1e300, -1e-300, 2, 3}};
    for (const Rect& r : samples) {
        auto parsed = parseRect(stringFromRect(r));
        ASSERT_TRUE(parsed) << stringFromRect(r);
        EXPECT_EQ(*parsed, r);
    }
}

TEST(GeometryText, StrictParserRejectsMalformedText) {
    const char* bad[] = {"",       "{",           "{1, 2", "{1 2}", "{{1, 2}, {3}}", "{{1, 2}, {3, 4}} x",
                         "{a, b}", "{{1,2},{3,4}"};
    for (const char* text : bad)
        EXPECT_FALSE(parseRect(text)) << text;
    EXPECT_FALSE(parsePoint("{1, 2, 3}"));
    EXPECT_EQ(parseRect(" { {1,2} , {3,4} } "), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(parseSize("{+5, 6e2}"), (Size{5, 600}));
}

TEST(GeometryText, LenientParserTakesNumbersInOrderAndZeroForMissing) {
    EXPECT_EQ(rectFromString("{{1, 2}, {3"), (Rect{1, 2, 3, 0}));
    EXPECT_EQ(pointFromString("garbage"), (Point{0, 0}));
    EXPECT_EQ(sizeFromString("{7, -8}"), (Size{7, -8}));
}

TEST(RectOperations, IntersectionUnionAndContainment) {
    Rect a{0, 0, 10, 10}, b{5, 5, 10, 10}, far{20, 20, 1, 1};
    EXPECT_EQ(a.intersection(b), (Rect{5, 5, 5, 5}));
    EXPECT_TRUE(a.intersection(far).isEmpty());
    EXPECT_EQ(a.unionWith(b), (Rect{0, 0, 15, 15}));
    EXPECT_EQ(a.unionWith(Rect{}), a);
    EXPECT_TRUE(a.containsPoint({0, 0}));
    EXPECT_FALSE(a.containsPoint({10, 10}));
    EXPECT_EQ((Rect{0, 0, -4, -6}).standardized(), (Rect{-4, -6, 4, 6}));
    EXPECT_EQ((Rect{0.5, 0.2, 1, 1}).integral(), (Rect{0, 0, 2, 2}));
}

TEST(AffineTransformTest, ConcatenationAppliesLeftOperandFirst) {
    auto t = AffineTransform::translation(10, 0).concatenated(AffineTransform::scale(2, 3));
    EXPECT_EQ(t.apply({1, 1}), (Point{22, 3}));
    AffineTransform object;
    object.translateBy(10, 0); // object builders apply before the existing transform
    object.scaleBy(2, 3);
    EXPECT_EQ(object.apply({1, 1}), (Point{12, 3}));
}

TEST(AffineTransformTest, RotationIsCounterClockwiseAndInverts) {
    auto r = AffineTransform::rotationDegrees(90);
    Point p = r.apply({1, 0});
    EXPECT_NEAR(p.x, 0, 1e-12);
    EXPECT_NEAR(p.y, 1, 1e-12);
    auto t = AffineTransform::scale(2, 4).concatenated(r).concatenated(AffineTransform::translation(5, 6));
    auto inv = t.inverted();
    ASSERT_TRUE(inv);
    Point back = inv->apply(t.apply({3, -7}));
    EXPECT_NEAR(back.x, 3, 1e-12);
    EXPECT_NEAR(back.y, -7, 1e-12);
    EXPECT_FALSE(AffineTransform::zero().inverted());
}

TEST(AffineTransformTest, RectBoundsUnderRotation) {
    Rect r = AffineTransform::rotationDegrees(45).applyToRect({0, 0, 2, 2});
    EXPECT_NEAR(r.minX(), -std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(r.width(), 2 * std::sqrt(2.0), 1e-12);
    EXPECT_EQ(AffineTransform::zero().applyToRect({3, 4, 5, 6}), (Rect{0, 0, 0, 0}));
}

} // namespace
} // namespace vtl
