#include "platform/capture/CaptureGeometry.h"

#include "CaptureTestSupport.h"
#include "platform/capture/DisplayStreamUpdate.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vtl {

namespace {

// True when every pixel of every rectangle in `added` lies in one of `held`.
bool covers(const std::vector<Rect>& held, const std::vector<Rect>& added) {
    for (const Rect& r : added)
        for (int y = static_cast<int>(r.minY()); y < r.maxY(); ++y)
            for (int x = static_cast<int>(r.minX()); x < r.maxX(); ++x) {
                Point p{x + 0.5, y + 0.5};
                if (std::none_of(held.begin(), held.end(), [&](const Rect& h) { return h.containsPoint(p); }))
                    return false;
            }
    return true;
}

TEST(X11CoordinateSpace, ConvertsBetweenYDownPixelsAndYUpCoordinates) {
    struct Case {
        Rect reference, x11, yUp;
    };
    const Case cases[] = {
        // Top-left band of a 1920 x 1080 screen is at the top in y-up coordinates.
        {{0, 0, 1920, 1080}, {0, 0, 100, 50}, {0, 1030, 100, 50}},
        {{0, 0, 1920, 1080}, {10, 1070, 5, 10}, {10, 0, 5, 10}},
        // A screen to the right of and lower than the root origin.
        {{1920, 200, 1280, 1024}, {1930, 210, 20, 30}, {10, 984, 20, 30}},
        // Areas beyond the reference (another screen above it) get y above its height.
        {{0, 500, 800, 600}, {0, 0, 800, 500}, {0, 600, 800, 500}},
    };
    for (const Case& c : cases) {
        X11CoordinateSpace space(c.reference);
        EXPECT_EQ(space.fromX11(c.x11), c.yUp) << stringFromRect(c.x11);
        EXPECT_EQ(space.toX11(c.yUp), c.x11) << stringFromRect(c.yUp);
        EXPECT_EQ(space.toX11(space.fromX11(c.x11.origin)), c.x11.origin);
    }
    EXPECT_EQ(X11CoordinateSpace({0, 0, 1920, 1080}).fromX11(Point{0, 0}), (Point{0, 1080}));
    // A rectangle with negative size is taken as its standardized form.
    EXPECT_EQ(X11CoordinateSpace({0, 0, 100, 100}).fromX11(Rect{10, 20, -10, -20}), (Rect{0, 80, 10, 20}));
}

TEST(ChangedRegion, KeepsTheCountBoundedAndCoversEverythingAdded) {
    ChangedRegion region(4);
    std::vector<Rect> added;
    for (int i = 0; i < 30; ++i) {
        Rect r((i * 37) % 180, (i * 23) % 100, 3 + i % 7, 2 + i % 5);
        added.push_back(r);
        region.add(r);
        ASSERT_LE(region.rectangles().size(), 4u);
    }
    EXPECT_TRUE(covers(region.rectangles(), added));
}

TEST(ChangedRegion, MergesNeighboursBeforeDistantRectanglesAndRoundsOutward) {
    ChangedRegion region(2);
    region.add(Rect{0, 0, 10, 10});
    region.add(Rect{10, 0, 10, 10}); // touching: merging costs nothing
    region.add(Rect{500, 500, 10, 10});
    EXPECT_THAT(region.rectangles(),
                ::testing::UnorderedElementsAre(Rect{0, 0, 20, 10}, Rect{500, 500, 10, 10}));

    ChangedRegion rounding;
    rounding.add(Rect{1.5, 2.25, 3, 0.5});
    rounding.add(Rect{0, 0, 0, 5}); // empty: ignored
    ASSERT_EQ(rounding.rectangles().size(), 1u);
    EXPECT_EQ(rounding.rectangles()[0], (Rect{1, 2, 4, 1}));
    rounding.add(Rect{2, 2, 1, 1});     // inside a held one
    rounding.add(Rect{0, 0, 100, 100}); // swallows the held one
    ASSERT_EQ(rounding.rectangles().size(), 1u);
    EXPECT_EQ(rounding.rectangles()[0], (Rect{0, 0, 100, 100}));
}

TEST(DisplayStreamUpdate, MergedUpdateKeepsEarlierMovesAndRefreshesLaterOnes) {
    DisplayStreamUpdate first({{0, 0, 10, 10}}, {{100, 100, 20, 20}}, 5, -3);
    DisplayStreamUpdate second({{50, 50, 10, 10}}, {{200, 0, 30, 30}}, 1, 1);
    auto merged = DisplayStreamUpdate::merged(first, second);
    ASSERT_EQ(merged->movedRects().size(), 1u);
    EXPECT_EQ(merged->movedRects()[0], (Rect{100, 100, 20, 20}));
    EXPECT_EQ(merged->moveDeltaX(), 5);
    EXPECT_EQ(merged->moveDeltaY(), -3);
    const auto& refreshed = merged->refreshedRects();
    for (Rect expected : {Rect{0, 0, 10, 10}, Rect{50, 50, 10, 10}, Rect{200, 0, 30, 30}})
        EXPECT_TRUE(std::any_of(refreshed.begin(), refreshed.end(), [&](const Rect& r) {
            return r.containsRect(expected);
        })) << stringFromRect(expected);

    // Merging into an empty update (nothing held back yet) keeps the other's changes.
    auto fromEmpty = DisplayStreamUpdate::merged(DisplayStreamUpdate{}, DisplayStreamUpdate({{1, 2, 3, 4}}));
    ASSERT_EQ(fromEmpty->refreshedRects().size(), 1u);
    EXPECT_TRUE(fromEmpty->movedRects().empty());
}

} // namespace
} // namespace vtl
