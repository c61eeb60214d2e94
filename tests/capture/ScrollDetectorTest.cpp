#include "platform/capture/ScrollDetector.h"

#include "CaptureTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace vtl {
namespace {

constexpr std::uint32_t kViewWidth = 320;
constexpr std::uint32_t kViewHeight = 240;

// A picture of text-like content: light background, dark glyph blocks of random widths on lines
// 12 rows apart, every line different.
struct ViewPicture {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(std::size_t(kViewWidth) * kViewHeight * 4, 0);
    PixelView view() const { return {bytes.data(), kViewWidth * 4, kViewWidth, kViewHeight}; }
    std::uint32_t* at(std::int64_t x, std::int64_t y) {
        return reinterpret_cast<std::uint32_t*>(bytes.data()) + y * kViewWidth + x;
    }
};

void paintText(ViewPicture& p, std::int64_t x0, std::int64_t y0, std::int64_t w, std::int64_t h,
               unsigned seed) {
    std::mt19937 random(seed);
    for (std::int64_t y = y0; y < y0 + h; ++y)
        for (std::int64_t x = x0; x < x0 + w; ++x)
            *p.at(x, y) = 0xfff0f0f0;
    for (std::int64_t line = y0; line + 9 <= y0 + h; line += 12) {
        for (std::int64_t x = x0 + 2; x + 8 < x0 + w;) {
            const std::int64_t glyph = 2 + random() % 6;
            const std::uint32_t ink = 0xff000000 | (random() % 0x404040);
            for (std::int64_t y = line + 1 + random() % 3; y < line + 9; ++y)
                for (std::int64_t gx = x; gx < x + glyph; ++gx)
                    *p.at(gx, y) = ink;
            x += glyph + 1 + (random() % 7 == 0 ? 5 : 0);
        }
    }
}

// Content of `from` at (x + dx, y + dy) copied to (x, y) over the rectangle: a scroll.
void shiftInto(ViewPicture& to, const ViewPicture& from, std::int64_t x0, std::int64_t y0, std::int64_t w,
               std::int64_t h, std::int64_t dx, std::int64_t dy) {
    ViewPicture source = from;
    for (std::int64_t y = y0; y < y0 + h; ++y)
        for (std::int64_t x = x0; x < x0 + w; ++x)
            *to.at(x, y) = *source.at(x + dx, y + dy);
}

struct ScrollCase {
    const char* name;
    std::function<void(ViewPicture&, const ViewPicture&)> change; // makes the new picture from the previous
    std::vector<Rect> refreshed;
    std::vector<Rect> expectedMoved;
    double expectedDx, expectedDy;
    std::vector<Rect> expectedRefreshed;
};

TEST(ScrollDetectorTest, FindsScrolledContentAndLeavesOnlyTheNewStripChanged) {
    const Rect pane(40, 20, 200, 180);
    const ScrollCase cases[] = {
        {"up by 13 rows",
         [](ViewPicture& p, const ViewPicture& old) {
             shiftInto(p, old, 40, 20, 200, 167, 0, 13);
             paintText(p, 40, 187, 200, 13, 99);
         },
         {pane},
         {Rect(40, 20, 200, 167)},
         0,
         13,
         {Rect(40, 187, 200, 13)}},
        {"down by 9 rows",
         [](ViewPicture& p, const ViewPicture& old) {
             shiftInto(p, old, 40, 29, 200, 171, 0, -9);
             paintText(p, 40, 20, 200, 9, 98);
         },
         {pane},
         {Rect(40, 29, 200, 171)},
         0,
         -9,
         {Rect(40, 20, 200, 9)}},
        {"sideways by 24 columns",
         [](ViewPicture& p, const ViewPicture& old) {
             shiftInto(p, old, 40, 20, 176, 180, 24, 0);
             paintText(p, 216, 20, 24, 180, 97);
         },
         {pane},
         {Rect(40, 20, 176, 180)},
         24,
         0,
         {Rect(216, 20, 24, 180)}},
        {"partial: a header above the scrolled part was redrawn",
         [](ViewPicture& p, const ViewPicture& old) {
             paintText(p, 40, 20, 200, 30, 96);
             shiftInto(p, old, 40, 50, 200, 140, 0, 10);
             paintText(p, 40, 190, 200, 10, 95);
         },
         {pane},
         // The header's last rows are blank, like the rows they would come from: moved as well.
         {Rect(40, 47, 200, 143)},
         0,
         10,
         {Rect(40, 20, 200, 27), Rect(40, 190, 200, 10)}},
        {"none: new content in place",
         [](ViewPicture& p, const ViewPicture&) { paintText(p, 40, 20, 200, 180, 94); },
         {pane},
         {},
         0,
         0,
         {pane}},
        {"content changed while scrolling",
         [](ViewPicture& p, const ViewPicture& old) {
             shiftInto(p, old, 40, 20, 200, 168, 0, 12);
             paintText(p, 40, 188, 200, 12, 93);
             // A line inside the scrolled part changed too.
             for (std::int64_t x = 60; x < 80; ++x)
                 *p.at(x, 100) = 0xffff0000;
         },
         {pane},
         {Rect(40, 20, 200, 80), Rect(40, 101, 200, 87)},
         0,
         12,
         {Rect(40, 100, 200, 1), Rect(40, 188, 200, 12)}},
        {"two panes scrolled by different amounts: the larger saving wins",
         [](ViewPicture& p, const ViewPicture& old) {
             shiftInto(p, old, 0, 0, 30, 200, 0, 4);
             paintText(p, 0, 200, 30, 4, 92);
             shiftInto(p, old, 40, 20, 200, 167, 0, 13);
             paintText(p, 40, 187, 200, 13, 91);
         },
         {Rect(0, 0, 30, 204), pane},
         {Rect(40, 20, 200, 167)},
         0,
         13,
         {Rect(40, 187, 200, 13), Rect(0, 0, 30, 204)}},
    };
    ScrollDetector detector;
    for (const ScrollCase& c : cases) {
        SCOPED_TRACE(c.name);
        ViewPicture previous;
        paintText(previous, 0, 0, kViewWidth, kViewHeight, 1);
        ViewPicture current = previous;
        c.change(current, previous);
        const DisplayStreamUpdate update = detector.detect(previous.view(), current.view(), c.refreshed);
        EXPECT_EQ(update.movedRects(), c.expectedMoved);
        if (!c.expectedMoved.empty()) {
            EXPECT_EQ(update.moveDeltaX(), c.expectedDx);
            EXPECT_EQ(update.moveDeltaY(), c.expectedDy);
        }
        EXPECT_EQ(update.refreshedRects(), c.expectedRefreshed);

        // Applying the update to the previous picture gives the new one exactly.
        ViewPicture rebuilt = previous;
        for (const Rect& m : update.movedRects())
            shiftInto(rebuilt, previous, std::int64_t(m.minX()), std::int64_t(m.minY()),
                      std::int64_t(m.width()), std::int64_t(m.height()), std::int64_t(update.moveDeltaX()),
                      std::int64_t(update.moveDeltaY()));
        for (const Rect& r : update.refreshedRects())
            for (std::int64_t y = std::int64_t(r.minY()); y < std::int64_t(r.maxY()); ++y)
                for (std::int64_t x = std::int64_t(r.minX()); x < std::int64_t(r.maxX()); ++x)
                    *rebuilt.at(x, y) = *current.at(x, y);
        EXPECT_TRUE(rebuilt.bytes == current.bytes);
    }
}

TEST(ScrollDetectorTest, BlankAndMismatchedPicturesReportTheChangesAsTheyAre) {
    ScrollDetector detector;
    ViewPicture blank;
    ViewPicture other;
    paintText(other, 0, 0, kViewWidth, kViewHeight, 5);
    const std::vector<Rect> refreshed = {Rect(10, 10, 100, 100)};
    // A uniform picture matches itself at every shift and so proves no scroll.
    DisplayStreamUpdate update = detector.detect(blank.view(), blank.view(), refreshed);
    EXPECT_TRUE(update.movedRects().empty());
    EXPECT_EQ(update.refreshedRects(), refreshed);
    // Pictures of different sizes, or none, are never compared.
    PixelView smaller = other.view();
    smaller.height = 100;
    update = detector.detect(smaller, other.view(), refreshed);
    EXPECT_TRUE(update.movedRects().empty());
    update = detector.detect(PixelView{}, other.view(), refreshed);
    EXPECT_EQ(update.refreshedRects(), refreshed);
}

} // namespace
} // namespace vtl
