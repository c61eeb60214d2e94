#include "drawing/BezierPathAdditions.h"

#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vtl {
namespace {

using A = BezierPathAdditions;
using ET = BezierPath::ElementType;

std::vector<std::string> captureLog(const std::function<void()>& f) {
    std::vector<std::string> lines;
    auto previous = setLogSink([&](std::string_view l) { lines.emplace_back(l); });
    f();
    setLogSink(previous);
    return lines;
}

BezierPath polyline(std::initializer_list<Point> points) {
    BezierPath p;
    bool first = true;
    for (Point q : points) {
        if (first)
            p.moveTo(q);
        else
            p.lineTo(q);
        first = false;
    }
    return p;
}

void expectPoint(Point got, Point want, double tolerance = 1e-6) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
}

TEST(PathAdditions, RoundedRectangleRadiusIsCapped) {
    BezierPath p = A::pathWithRect({0, 0, 40, 100}, 30);
    expectPoint(p.element(0).points[0], {0, 20});
    Rect b = p.bounds();
    EXPECT_NEAR(b.width(), 40, 1e-9);
    EXPECT_NEAR(b.height(), 100, 1e-9);
    EXPECT_EQ(p.elements().back().type, ET::ClosePath);

    BezierPath negative = A::pathWithRect({0, 0, 40, 100}, -5);
    expectPoint(negative.element(0).points[0], {0, -5});
    BezierPath appended;
    A::appendPathWithRect(appended, {0, 0, 40, 100}, -5);
    expectPoint(appended.element(0).points[0], {0, 0});

    // Only the top-left corner rounded: the bottom-left starts at the corner itself.
    BezierPath partial = A::pathWithRect({0, 0, 40, 40}, 10, false, true, false, false);
    expectPoint(partial.element(0).points[0], {0, 0});
    expectPoint(partial.element(1).points[0], {0, 30});
    int curves = 0;
    for (const auto& e : partial.elements())
        curves += e.type == ET::CurveTo;
    EXPECT_EQ(curves, 1);
}

TEST(PathAdditions, Triangles) {
    const Rect r{0, 0, 10, 20};
    struct Case {
        int direction;
        Point a, b, c;
    };
    const Case cases[] = {{0, {10, 20}, {10, 0}, {0, 10}},
                          {1, {0, 20}, {0, 0}, {10, 10}},
                          {2, {0, 20}, {10, 20}, {5, 0}},
                          {3, {0, 0}, {10, 0}, {5, 20}}};
    for (const Case& c : cases) {
        BezierPath p = A::pathWithTrianglePointingTo(c.direction, r);
        ASSERT_EQ(p.elementCount(), 4u);
        EXPECT_EQ(p.element(0).points[0], c.a);
        EXPECT_EQ(p.element(1).points[0], c.b);
        EXPECT_EQ(p.element(2).points[0], c.c);
    }
    BezierPath bad;
    auto lines = captureLog([&] { bad = A::pathWithTrianglePointingTo(4, r); });
    EXPECT_EQ(lines, std::vector<std::string>{"unsupported direction"});
    ASSERT_EQ(bad.elementCount(), 1u);
    EXPECT_EQ(bad.element(0).type, ET::ClosePath);
}

TEST(PathAdditions, BubblesAndStars) {
    BezierPath none = A::bezierPathWithBubbleInRect({0, 0, 100, 50}, 0, 2, 0);
    ASSERT_EQ(none.elementCount(), 1u);
    EXPECT_EQ(none.element(0).type, ET::ClosePath);
    BezierPath bubble = A::bezierPathWithBubbleInRect({0, 0, 100, 50}, 6, 2, 0);
    EXPECT_EQ(bubble.elementCount(), 8u);
    expectPoint(bubble.element(0).points[0], {50, 25 + 21}, 1e-5); // straight up on the inner ellipse
    EXPECT_EQ(A::bezierPathWithBubbleInRect({0, 0, 100, 50}, 6, 2, 2),
              A::bezierPathWithBubbleInRect({0, 0, 100, 50}, 6, 2, 1));

    struct Case {
        uint32_t rays;
        size_t points;
    };
    for (Case c : {Case{3, 8}, Case{4, 8}, Case{5, 10}, Case{0, 8}}) {
        BezierPath star = A::starWithRect({0, 0, 100, 100}, c.rays, 20);
        EXPECT_EQ(star.elementCount(), c.points + 2) << c.rays; // move, lines, close
    }
    BezierPath star = A::starWithRect({0, 0, 100, 100}, 5, 20);
    expectPoint(star.element(0).points[0], {50, 100});
    expectPoint(star.element(2).points[0],
                {50 + std::sin(2 * M_PI / 10) * 40, 50 + std::cos(2 * M_PI / 10) * 40});
    BezierPath flipped = A::flippedStarWithRect({0, 0, 100, 100}, 5, 20);
    expectPoint(flipped.element(0).points[0], {50, 0});
    expectPoint(flipped.element(2).points[0],
                {50 + std::sin(2 * M_PI / 10) * 40, 50 - std::cos(2 * M_PI / 10) * 40});
    // A stretch longer than the short side becomes 0.8 of it.
    BezierPath squashed = A::starWithRect({0, 0, 100, 50}, 4, 60);
    expectPoint(squashed.element(2).points[0], {50 + std::sin(M_PI / 4) * 30, 25 + std::cos(M_PI / 4) * 5},
                1e-4);
}

TEST(PathAdditions, DegreesOfLines) {
    struct Case {
        Point a, b;
        float degrees;
    };
    const Case cases[] = {{{0, 0}, {0, 0}, 180},  {{0, 0}, {0, -1}, -90},   {{0, 0}, {1, 1}, 45},
                          {{0, 0}, {-1, 0}, 180}, {{0, 0}, {-1, -1}, -135}, {{0, 0}, {0, 5}, 90}};
    for (const Case& c : cases)
        EXPECT_NEAR(A::getDegreesOfLine(c.a, c.b), c.degrees, 1e-4) << c.b.x << "," << c.b.y;
}

TEST(PathAdditions, Lengths) {
    EXPECT_NEAR(A::length(polyline({{0, 0}, {3, 4}})), 5, 1e-9);
    BezierPath square = polyline({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    square.closePath();
    EXPECT_NEAR(A::length(square), 40, 1e-9);
    // A quarter circle of radius 100.
    BezierPath arc;
    arc.appendArc({0, 0}, 100, 0, 90, false);
    EXPECT_NEAR(A::length(arc), M_PI * 50, 0.1);
    EXPECT_NEAR(A::lengthWithMaximumError(arc, 0), M_PI * 50, 0.05) << "a zero error still ends";
}

TEST(PathAdditions, TrimmingByLength) {
    BezierPath line = polyline({{0, 0}, {10, 0}, {10, 10}});
    BezierPath head = A::bezierPathByTrimmingToLength(line, 15);
    ASSERT_EQ(head.elementCount(), 3u);
    expectPoint(head.element(2).points[0], {10, 5});
    BezierPath tail = A::bezierPathByTrimmingFromLength(line, 15);
    ASSERT_EQ(tail.elementCount(), 3u);
    EXPECT_EQ(tail.element(1).type, ET::MoveTo);
    expectPoint(tail.element(1).points[0], {10, 5});
    expectPoint(tail.element(2).points[0], {10, 10});
    BezierPath fromCorner = A::bezierPathByTrimmingFromLength(line, 10);
    EXPECT_NEAR(A::length(fromCorner), 10, 1e-9) << "ending exactly at an element's end";

    BezierPath closed = polyline({{0, 0}, {10, 0}, {10, 10}});
    closed.closePath();
    BezierPath intoClose = A::bezierPathByTrimmingToLength(closed, 25);
    expectPoint(intoClose.elements().back().points[0], {10 - 5 / std::sqrt(2.0), 10 - 5 / std::sqrt(2.0)},
                1e-6);

    BezierPath arc;
    arc.appendArc({0, 0}, 100, 0, 90, false);
    double total = A::length(arc);
    BezierPath first = A::bezierPathByTrimmingToLength(arc, total / 2);
    BezierPath second = A::bezierPathByTrimmingFromLength(arc, total / 2);
    EXPECT_NEAR(A::length(first), total / 2, 0.2);
    EXPECT_NEAR(A::length(second), total / 2, 0.2);
    expectPoint(first.elements().back().points[2], {100 * std::cos(M_PI / 4), 100 * std::sin(M_PI / 4)}, 0.3);
}

TEST(PathAdditions, FirstPointsAndArrowHeads) {
    BezierPath startsWithLine;
    startsWithLine.lineTo({3, 3}); // an implicit move comes first
    EXPECT_EQ(A::firstPoint(startsWithLine), (Point{3, 3}));
    EXPECT_EQ(A::firstPoint(BezierPath()), (Point{0, 0}));
    BezierPath closeOnly;
    closeOnly.appendCloseElement();
    EXPECT_EQ(A::firstPoint(closeOnly), (Point{0, 0}));

    BezierPath target = polyline({{0, 0}, {1, 1}});
    A::appendBezierPathRemovingInitialMoveToPoint(target, polyline({{5, 5}, {6, 6}}));
    ASSERT_EQ(target.elementCount(), 3u);
    EXPECT_EQ(target.element(2).points[0], (Point{6, 6}));

    BezierPath shaft = polyline({{0, 0}, {100, 0}});
    BezierPath head = A::bezierPathWithArrowHeadForStartOfLength(shaft, 10, 30);
    // Two strokes meeting at the tip (0, 0), 30 degrees either side of the shaft.
    ASSERT_EQ(head.elementCount(), 3u);
    expectPoint(head.element(0).points[0], {10 * std::cos(M_PI / 6), -10 * std::sin(M_PI / 6)});
    expectPoint(head.element(1).points[0], {0, 0});
    expectPoint(head.element(2).points[0], {10 * std::cos(M_PI / 6), 10 * std::sin(M_PI / 6)});
    BezierPath endHead = A::bezierPathWithArrowHeadForEndOfLength(shaft, 10, 30);
    expectPoint(endHead.element(1).points[0], {100, 0});
}

TEST(PathAdditions, SpeechBubbleRunsFromTheTip) {
    BezierPath p;
    A::appendSpeechBubbleWithRect(p, {0, 0, 100, 50}, {-20, -20}, 10);
    EXPECT_EQ(p.element(0).points[0], (Point{-20, -20}));
    expectPoint(p.element(1).points[0], {0, 10});
    EXPECT_EQ(p.elements().back().type, ET::ClosePath);
    Rect b = p.bounds();
    EXPECT_NEAR(b.maxX(), 100, 1e-9);
    EXPECT_NEAR(b.maxY(), 50, 1e-9);
}

TEST(PathAdditions, GradientFills) {
    auto blend = A::gradientInterpolate({0, 0, 0, 1, 1, 0.5f, 0, 0}, 0.25f);
    EXPECT_FLOAT_EQ(blend[0], 0.25f);
    EXPECT_FLOAT_EQ(blend[1], 0.125f);
    EXPECT_FLOAT_EQ(blend[3], 0.75f);

    auto ctx = GraphicsContext::createBitmapContext(40, 20);
    GraphicsContext::setCurrent(ctx);
    BezierPath left;
    left.appendRect({0, 0, 20, 20});
    A::fillPath(left, Color::black(), Color::whiteColor(), true);
    BitmapRef b = ctx->makeImage();
    EXPECT_LT(b->pixelAt(2, 10).r, b->pixelAt(17, 10).r) << "dark to light, left to right";
    EXPECT_EQ(b->pixelAt(30, 10).a, 0) << "clipped to the path";
    EXPECT_EQ(ctx->gStateDepth(), 0);

    ctx->setDrawingToScreen(false);
    BezierPath right;
    right.appendRect({20, 0, 20, 20});
    A::fillPath(right, Color::black(), Color::whiteColor(), true);
    EXPECT_NEAR(ctx->makeImage()->pixelAt(30, 10).r, 128, 1) << "printing fills the half-way blend";

    auto solid = GraphicsContext::createBitmapContext(20, 20);
    GraphicsContext::setCurrent(solid);
    A::fillPath(left, Color::redColor(), Color::rgb(0, 0, 1));
    EXPECT_EQ(solid->makeImage()->pixelAt(10, 1).r, 255);
    EXPECT_EQ(solid->makeImage()->pixelAt(10, 18).r, 255);

    auto label = GraphicsContext::createBitmapContext(60, 40);
    GraphicsContext::setCurrent(label);
    A::fillLabelRect({10, 10, 40, 20}, Color::rgb(0, 0, 1));
    BitmapRef lb = label->makeImage();
    EXPECT_GT(lb->pixelAt(30, 20).b, lb->pixelAt(30, 20).r) << "the colour's fill";
    EXPECT_GT(lb->pixelAt(51, 20).a, 0) << "the shadow to the right";
    EXPECT_EQ(lb->pixelAt(9, 20).a, 0) << "and none to the left";
    EXPECT_FALSE(label->shadow().color) << "the shadow is cleared afterwards";
    GraphicsContext::setCurrent(nullptr);
}

} // namespace
} // namespace vtl
