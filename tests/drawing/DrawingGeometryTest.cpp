#include "drawing/MRDrawing_CGContextCreationHelper.h"
#include "drawing/MRDrawing_CGContextPathHelper.h"
#include "drawing/MRDrawing_GeometryHelper.h"
#include "platform/foundation/Log.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vtl {
namespace {

using G = MRDrawing_GeometryHelper;
constexpr double kFloatMax = std::numeric_limits<float>::max();

TEST(GeometryHelper, FittersScaleAsTheirNamesSay) {
    struct Case {
        const char* name;
        Rect (*fit)(const Rect&, Size);
        Size size;
        Rect expected;
    };
    const Rect bounds{0, 0, 100, 100};
    const Case cases[] = {
        {"fitted keeps a small size", G::fittedRectInBounds, {50, 20}, {25, 40, 50, 20}},
        {"fitted shrinks a wide size", G::fittedRectInBounds, {400, 200}, {0, 25, 100, 50}},
        {"scaled enlarges", G::scaledRectInBounds, {50, 20}, {0, 30, 100, 40}},
        {"filled covers", G::filledRectInBounds, {50, 20}, {-75, 0, 250, 100}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.fit(bounds, c.size), c.expected) << c.name;
    EXPECT_EQ(G::proportionallyScaleSize({50, 20}, {100, 100}), (Size{100, 40}));
    // A tall size: the ratio is rounded to single precision, so the width is not exactly 10.
    Rect tall = G::fittedRectInBounds(bounds, {20, 200});
    EXPECT_NEAR(tall.origin.x, 45, 1e-5);
    EXPECT_NEAR(tall.size.width, 10, 1e-5);
    EXPECT_EQ(tall.size.height, 100);
}

TEST(GeometryHelper, AnglesVectorsAndDistances) {
    EXPECT_FLOAT_EQ(G::angleOfRay({0, 0}), static_cast<float>(M_PI));
    EXPECT_FLOAT_EQ(G::angleOfRay({-1, -1}), static_cast<float>(-3 * M_PI / 4));
    EXPECT_FLOAT_EQ(G::angleOfRay({1, 1}), static_cast<float>(M_PI / 4));
    EXPECT_EQ(G::length({0, 0}), 0);
    EXPECT_EQ(G::normalize({0, 0}), (Point{0, 0}));
    EXPECT_FLOAT_EQ(G::length({3, 4}), 5);
    EXPECT_EQ(G::flipBy90Degrees({1, 2}), (Point{2, -1}));
    EXPECT_FLOAT_EQ(G::distanceOfPointToLine({5, 5}, {0, 0}, {10, 0}), 5);
    EXPECT_FLOAT_EQ(G::distanceOfPointToLine({-3, 4}, {0, 0}, {10, 0}), 5) << "before the origin";
    EXPECT_FLOAT_EQ(G::distanceOfPointToLine({13, 4}, {0, 0}, {10, 0}), 5) << "past the end";
    EXPECT_EQ(G::distanceOfPointToLine({1, 1}, {2, 2}, {2, 2}), std::numeric_limits<float>::max());
    Point r = G::rotatePoint({2, 1}, {1, 1}, 90);
    EXPECT_NEAR(r.x, 1, 1e-12);
    EXPECT_NEAR(r.y, 2, 1e-12);
}

TEST(GeometryHelper, IntersectionsAndNearestPoints) {
    EXPECT_EQ(G::intersectLine({0, 0}, {10, 10}, {0, 10}, {10, 0}), (Point{5, 5}));
    EXPECT_EQ(G::intersectLine({0, 0}, {1, 1}, {0, 10}, {10, 0}), (Point{0, 0})) << "segments do not reach";
    EXPECT_EQ(G::intersectRay({0, 0}, {1, 1}, {0, 10}, {10, 0}), (Point{5, 5}));
    EXPECT_EQ(G::intersectRay({0, 0}, {1, 0}, {0, 1}, {1, 1}), (Point{kFloatMax, kFloatMax}));

    std::vector<std::string> lines;
    auto previous = setLogSink([&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(G::nearestPointInArray({}, {1, 1}), (Point{0, 0}));
    setLogSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "No Points for distance measuring specified!");
    EXPECT_EQ(G::nearestPointInArray({{0, 1}, {1, 0}, {5, 5}}, {0, 0}), (Point{0, 1})) << "first of equals";
    EXPECT_EQ(G::findNearestPointOnRectangle({0, 0, 10, 10}, {15, -3}), (Point{10, 0}));
    EXPECT_EQ(G::findNearestPointOnRectangle({0, 0, 10, 10}, {3, 4}), (Point{3, 4}));
}

TEST(GeometryHelper, RectHelpers) {
    EXPECT_EQ(G::roundRect({1.5, -1.5, 2.49, 2.5}), (Rect{2, -2, 2, 3}));
    EXPECT_EQ(G::scaleRect({1, 2, 3, 4}, 2), (Rect{2, 4, 6, 8}));
    EXPECT_EQ(G::centerRect({99, 99, 10, 20}, {0, 0, 100, 100}), (Rect{45, 40, 10, 20}));
    Rect single = G::boundsOfPoints({{-20000, -20000}});
    EXPECT_EQ(single, (Rect{-20000, -20000, 10000, 10000}));
    EXPECT_EQ(G::rectFromString(G::stringFromRect({1, 2, 3, 4})), (Rect{1, 2, 3, 4}));
}

TEST(PathHelper, QuadraticElementsBecomeCubics) {
    using E = MRDrawing_CGContextPathHelper::PathElement;
    BezierPath p = MRDrawing_CGContextPathHelper::bezierPathFromCGPath(
        std::vector<E>{{0, {Point{0, 0}}}, {2, {Point{3, 3}, Point{6, 0}}}, {9, {}}, {4, {}}});
    ASSERT_EQ(p.elementCount(), 3u);
    const auto& curve = p.element(1);
    EXPECT_EQ(curve.type, BezierPath::ElementType::CurveTo);
    EXPECT_EQ(curve.points[0], (Point{2, 2}));
    EXPECT_EQ(curve.points[1], (Point{4, 2}));
    EXPECT_EQ(curve.points[2], (Point{6, 0}));
    EXPECT_EQ(p.element(2).type, BezierPath::ElementType::ClosePath);
}

TEST(PathHelper, StarPointsAndEmptyStar) {
    BezierPath none = MRDrawing_CGContextPathHelper::starPathWithFrame({0, 0, 10, 10}, 0.5f, 0, 0, 0);
    ASSERT_EQ(none.elementCount(), 1u);
    EXPECT_EQ(none.element(0).type, BezierPath::ElementType::ClosePath);
    BezierPath star = MRDrawing_CGContextPathHelper::starPathWithFrame({0, 0, 100, 100}, 0.5f, 5, 0, 0);
    // Per side: inner point, one outer point, next inner point; then the close.
    EXPECT_EQ(star.elementCount(), 5u * 3 + 1);
    EXPECT_NEAR(star.element(0).points[0].x, 50, 1e-9);
    EXPECT_NEAR(star.element(0).points[0].y, 75, 1e-9) << "radius 0.5 at the top";
}

TEST(CreationHelper, BeginMakesCurrentAndReleaseRestores) {
    auto outer = GraphicsContext::createBitmapContext(4, 4);
    GraphicsContext::setCurrent(outer);
    EXPECT_FALSE(MRDrawing_CGContextCreationHelper::beginCGContextWithSize({0, 5}));
    for (Size absurd : {Size{std::nan(""), 5}, Size{1e300, 1e300}, Size{5, 1e12}})
        EXPECT_FALSE(MRDrawing_CGContextCreationHelper::beginCGContextWithSize(absurd));
    EXPECT_EQ(GraphicsContext::current(), outer.get()) << "a refused context changes nothing";

    auto ctx = MRDrawing_CGContextCreationHelper::beginCGContextWithSize({6.9, 3.2});
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->width(), 6);
    EXPECT_EQ(ctx->height(), 3);
    EXPECT_TRUE(ctx->isFlipped());
    EXPECT_EQ(GraphicsContext::current(), ctx.get());
    ctx->setFillColor(Color::redColor());
    ctx->fillRect({0, 0, 6, 3});
    ImageRef image = MRDrawing_CGContextCreationHelper::releaseContextAndCreatePlattformImage(ctx);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{6, 3}));
    EXPECT_EQ(image->representations()[0].bitmap->pixelAt(2, 2).r, 255);
    EXPECT_EQ(GraphicsContext::current(), outer.get());

    auto opaque = MRDrawing_CGContextCreationHelper::beginCGContextWithSize({3, 3}, false);
    BitmapRef noAlpha = MRDrawing_CGContextCreationHelper::releaseCGContextAndCreateImage(opaque);
    EXPECT_FALSE(noAlpha->hasAlpha());
    EXPECT_EQ(noAlpha->pixelAt(1, 1).a, 255);
    GraphicsContext::setCurrent(nullptr);
}

TEST(PathHelper, RoundRectPathFillsWithRoundCorners) {
    auto ctx = GraphicsContext::createBitmapContext(20, 20);
    MRDrawing_CGContextPathHelper::appendRoundRectPathInCGContext(*ctx, {0, 0, 20, 20}, 8);
    ctx->fillPath();
    BitmapRef b = ctx->makeImage();
    EXPECT_EQ(b->pixelAt(0, 0).a, 0);
    EXPECT_EQ(b->pixelAt(10, 10).a, 255);
    EXPECT_EQ(b->pixelAt(10, 0).a, 255);
}

} // namespace
} // namespace vtl
