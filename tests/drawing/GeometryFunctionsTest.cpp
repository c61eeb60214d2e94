#include "drawing/GeometryFunctions.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vtl {
namespace {

using ET = BezierPath::ElementType;

TEST(RectFunctions, RectInRectWithOptions) {
    Rect inner{0, 0, 200, 100}, outer{0, 0, 100, 100};
    struct Case {
        int32_t option;
        Rect expected;
    };
    const Case cases[] = {{0, {-50, 0, 200, 100}},
                          {1, {0, 25, 100, 50}},
                          {2, {0, 0, 100, 100}},
                          {3, {-50, 0, 200, 100}},
                          {4, {}},
                          {-1, {}}};
    for (const Case& c : cases)
        EXPECT_EQ(rectInRectWithOptions(c.option, inner, outer), c.expected) << c.option;
}

TEST(RectFunctions, CenteredRectInRectAlignmentFlags) {
    Rect inner{0, 0, 200, 40}, outer{0, 0, 100, 100};
    struct Case {
        bool right, left;
        double x, width;
    };
    const Case cases[] = {
        {false, false, 0, 100}, {true, false, -100, 200}, {false, true, 0, 200}, {true, true, -50, 200}};
    for (const Case& c : cases) {
        Rect r = centeredRectInRect(c.right, c.left, inner, outer);
        EXPECT_EQ(r.origin.x, c.x) << c.right << c.left;
        EXPECT_EQ(r.size.width, c.width);
        EXPECT_EQ(r.origin.y, 30);
        EXPECT_EQ(r.size.height, 40);
    }
    EXPECT_EQ(centeredRectInRect(false, false, {0, 0, 20, 20}, outer), (Rect{40, 40, 20, 20}));
}

TEST(RectFunctions, PointsAndEnclosingRects) {
    EXPECT_EQ(rectEnclosingPoints({10, 10}, {0, 20}), (Rect{0, 10, 10, 10}));
    EXPECT_EQ(rectFromPoint({5, 5}, 2.5f, 1), (Rect{2.5, 4, 5, 2}));
    auto pts = pointsFromRect({1, 2, 3, 4});
    EXPECT_EQ(pts[0], (Point{1, 2}));
    EXPECT_EQ(pts[1], (Point{4, 2}));
    EXPECT_EQ(pts[2], (Point{1, 6}));
    EXPECT_EQ(pts[3], (Point{4, 6}));
    EXPECT_EQ(centeredRectForImageInRect({40, 20}, {0, 0, 100, 100}), (Rect{30, 40, 40, 20}));
    EXPECT_EQ(centeredRectForImageInRect({140, 100}, {0, 0, 100, 100}), (Rect{-20, 0, 140, 100}));
}

TEST(RectFunctions, ValueIsWithinVicinity) {
    EXPECT_TRUE(valueIsWithinVicinity(1.05f, 1.0f, 0.1f));
    EXPECT_TRUE(valueIsWithinVicinity(1.1f, 1.0f, 0.1f));
    EXPECT_FALSE(valueIsWithinVicinity(1.2f, 1.0f, 0.1f));
    EXPECT_FALSE(valueIsWithinVicinity(-1.0f, -1.0f, 0.1f)); // negative reference: bounds are crossed
    EXPECT_FALSE(valueIsWithinVicinity(std::nanf(""), 1.0f, 0.1f));
}

TEST(RoundedOutlines, StartPointsAndCornerCurves) {
    Rect r{0, 0, 100, 50};
    BezierPath p = bezierpathWithRoundedCornersInRect(r, 5);
    ASSERT_EQ(p.elementCount(), 10u);
    EXPECT_EQ(p.element(0).type, ET::MoveTo);
    EXPECT_EQ(p.element(0).points[0], (Point{5, 0}));
    EXPECT_EQ(p.element(2).type, ET::CurveTo);
    EXPECT_EQ(p.element(2).points[0], (Point{100, 0}));
    EXPECT_EQ(p.element(2).points[1], (Point{100, 0}));
    EXPECT_EQ(p.element(2).points[2], (Point{100, 5}));
    EXPECT_EQ(p.element(9).type, ET::ClosePath);
    EXPECT_EQ(createCGPathWithRoundedCornersInRect(r, 5), p);

    BezierPath appended;
    appendBezierpathWithRoundedCornersInRect(appended, r, 5);
    EXPECT_EQ(appended.element(0).points[0], (Point{10, 0}));

    BezierPath omitting;
    omitting.moveTo({0, 0});
    appendBezierpathWithRoundedCornersInRectOmittingBottomLeft(omitting, r, 5);
    ASSERT_EQ(omitting.elementCount(), 8u);
    EXPECT_EQ(omitting.element(1).points[0], (Point{90, 0}));
    EXPECT_EQ(omitting.element(6).points[2], (Point{0, 40}));
    EXPECT_EQ(omitting.element(7).type, ET::ClosePath);
}

TEST(RoundedOutlines, LeftRightRounding) {
    Rect r{0, 0, 100, 50};
    BezierPath none = pathWithRoundedCornersLeftRightInRect(false, false, r, 5);
    ASSERT_EQ(none.elementCount(), 6u);
    EXPECT_EQ(none.element(0).points[0], (Point{0, 0}));
    BezierPath left = pathWithRoundedCornersLeftRightInRect(true, false, r, 5);
    EXPECT_EQ(left.element(0).points[0], (Point{5, 0}));
    EXPECT_EQ(left.elementCount(), 8u);
    BezierPath both = pathWithRoundedCornersLeftRightInRect(true, true, r, 5);
    EXPECT_EQ(both, bezierpathWithRoundedCornersInRect(r, 5));
}

TEST(Transforms, ScaleAndRotateBuildersAndTheIdentityCase) {
    EXPECT_FALSE(scaleAndRotateAtPointTransform({3, 4}, 1, 1, 0));
    EXPECT_FALSE(scaleAtZeroAndRotateAtPointTransform({3, 4}, 1, 1, 0));
    EXPECT_TRUE(scaleAndRotateAtPointTransform({3, 4}, 1, 1, 0.0001f));
    EXPECT_TRUE(scaleAtZeroAndRotateAtPointTransform({3, 4}, 1.0001f, 1, 0));

    // rotateAtPointTransform turns by +angle, the scale-and-rotate builders by -angle.
    Point plus = rotateAtPointTransform({1, 1}, 90).apply({2, 1});
    EXPECT_NEAR(plus.x, 1, 1e-12);
    EXPECT_NEAR(plus.y, 2, 1e-12);
    Point minus = scaleAndRotateAtPointTransform({1, 1}, 1, 1, 90)->apply({2, 1});
    EXPECT_NEAR(minus.x, 1, 1e-12);
    EXPECT_NEAR(minus.y, 0, 1e-12);

    // Scale about the origin, then rotation about the scaled point.
    auto t = scaleAtZeroAndRotateAtPointTransform({10, 10}, 2, 2, 90);
    Point fixed = t->apply({10, 10});
    EXPECT_NEAR(fixed.x, 20, 1e-12);
    EXPECT_NEAR(fixed.y, 20, 1e-12);

    auto s = scaleAtPointTransform({10, 20}, 2, 3);
    EXPECT_EQ(s.apply({10, 20}), (Point{10, 20}));
    EXPECT_EQ(s.apply({11, 21}), (Point{12, 23}));
    EXPECT_EQ(scaleAtPointAffineTransform({10, 20}, 2).apply({11, 21}), (Point{12, 22}));
    auto centre = scaleAndRotateForRectTransform({0, 0, 10, 20}, 2, 2, 0);
    EXPECT_EQ(centre->apply({5, 10}), (Point{5, 10}));
}

TEST(Transforms, RectToRect) {
    Rect from{10, 10, 3, 7}, to{100, 200, 1, 1};
    auto exact = CGAffineTransformFromRectToRect(from, to);
    auto rounded = transformFromRectToRect(from, to);
    EXPECT_EQ(exact.apply({10, 10}), (Point{100, 200}));
    Point a = exact.apply({13, 17}), b = rounded.apply({13, 17});
    EXPECT_NEAR(a.x, 101, 1e-12);
    EXPECT_NEAR(b.x, 101, 1e-6);
    EXPECT_EQ(rounded.a, static_cast<double>(static_cast<float>(1.0 / 3.0)));
    EXPECT_TRUE(std::isinf(CGAffineTransformFromRectToRect({0, 0, 0, 1}, to).a));
}

TEST(Transforms, NullTransformsAndBounds) {
    EXPECT_EQ(applyTransformToRect(std::nullopt, {1, 2, 3, 4}), (Rect{0, 0, 0, 0}));
    EXPECT_EQ(cgAffineTransform(std::nullopt), AffineTransform::zero());
    EXPECT_EQ(applyTransformToRect(AffineTransform::translation(1, 1), {1, 2, 3, 4}), (Rect{2, 3, 3, 4}));
    // Points far below zero still bound correctly.
    EXPECT_EQ(boundsOfPoints({{-20000, -20000}}), (Rect{-20000, -20000, 0, 0}));
    EXPECT_EQ(boundsOfPoints({}), (Rect{}));
    EXPECT_EQ(boundingRectOfTransformedRect(AffineTransform::scale(-1, 1), {-30000, -30000, 10, 10}),
              (Rect{29990, -30000, 10, 10}));
}

} // namespace
} // namespace vtl
