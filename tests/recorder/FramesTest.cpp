#include "recorder/VTLRecorderKeyFrame.h"
#include "recorder/VTLRecorderMoveChangeBlockFrame.h"
#include "recorder/VTLRecorderThumbnailFrame.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace vtl {
namespace {

using Block = VTLRecorderMoveChangeBlockFrame;
using PixelRect = Block::PixelRect;

TEST(ChangedRects, BigRectanglesAreSplitIntoBands) {
    struct Case {
        PixelRect rect;
        std::vector<PixelRect> bands;
    };
    const Case cases[] = {
        {{0, 0, 300, 600}, {{0, 0, 300, 300}, {0, 300, 300, 300}}}, // 180,000 pixels: two bands
        {{5, 7, 384, 384}, {{5, 7, 384, 384}}},                     // exactly 147,456: one band
        {{0, 0, 383, 384}, {{0, 0, 383, 384}}},                     // below: kept whole
        // 3 bands of floor(500 / 3) = 166 rows, the last takes the rest.
        {{10, 20, 800, 500}, {{10, 20, 800, 166}, {10, 186, 800, 166}, {10, 352, 800, 168}}},
        // A very wide, short rectangle cannot have more bands than rows.
        {{0, 0, 400000, 2}, {{0, 0, 400000, 1}, {0, 1, 400000, 1}}},
    };
    for (const Case& c : cases) {
        std::vector<PixelRect> bands;
        Block::splitIntoBands(c.rect, bands);
        EXPECT_EQ(bands, c.bands) << c.rect.width << "x" << c.rect.height;
    }
}

TEST(ChangedRects, CoalescingClipsAndBoundsTheCountWhileCoveringEveryPixel) {
    // Clipping and truncation.
    const std::vector<Rect> odd = {{-10, -10, 20, 20},
                                   {95.7, 45.2, 10.9, 10.9},
                                   {200, 200, 5, 5},
                                   {10, 10, 0, 5},
                                   {std::numeric_limits<double>::quiet_NaN(), 0, 4, 4}};
    const auto clipped = Block::coalesceRects(odd, 100, 50, 32);
    const std::vector<PixelRect> expected = {{0, 0, 10, 10}, {95, 45, 5, 5}}; // empty and NaN ones dropped
    EXPECT_EQ(clipped, expected);

    // Many small rectangles: at most the limit remain, and together they cover every input pixel.
    for (std::size_t count : {std::size_t{40}, std::size_t{500}}) {
        std::vector<Rect> rects;
        for (std::size_t i = 0; i < count; ++i)
            rects.push_back(
                Rect(double((i * 37) % 600), double((i * 53) % 400), 3 + double(i % 7), 2 + double(i % 5)));
        const auto merged = Block::coalesceRects(rects, 640, 480, 32);
        EXPECT_LE(merged.size(), 32u);
        for (const Rect& r : rects) {
            bool covered = false;
            for (const PixelRect& m : merged)
                covered =
                    covered || (r.minX() >= double(m.x) && r.minY() >= double(m.y) &&
                                r.maxX() <= double(m.x + m.width) && r.maxY() <= double(m.y + m.height));
            EXPECT_TRUE(covered) << r.minX() << "," << r.minY();
        }
    }
}

TEST(Frames, KeyFrameDecisionAndCost) {
    struct Case {
        std::vector<Rect> dirty;
        std::int64_t frame;
        KeyFrameDecision decision;
    };
    using enum KeyFrameDecision;
    // 100 x 100 surface at 30 frames per second.
    const Case cases[] = {
        {{}, 0, Scheduled},
        {{{0, 0, 100, 100}}, 60, Scheduled},
        {{{0, 0, 100, 70}}, 1, NotNeeded},                    // exactly 70 %: not a key frame
        {{{0, 0, 100, 70}, {0, 70, 1, 1}}, 1, MostlyChanged}, // just above
        {{{0, 0, 50, 100}, {50, 0, 50, 50}}, 29, MostlyChanged},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VTLRecorderKeyFrame::surfaceRequiresKeyframe(100, 100, c.dirty, c.frame, 30), c.decision)
            << c.frame;

    auto surface = std::make_shared<MemorySurface>(100, 100);
    const std::vector<Rect> changed = {{0, 0, 10, 10}, {95, 95, 10, 10}}; // the second is a quarter outside
    Block frame(surface, Rect(0, 0, 100, 100), 0.5, 3, {}, 0, 0, changed);
    EXPECT_DOUBLE_EQ(frame.costToEncodeFrame(), (100.0 + 25.0) / 10000.0);
    EXPECT_TRUE(frame.isMovieEncodableNonMetaFrame());
    EXPECT_FALSE(frame.isKeyFrame());
    VTLRecorderKeyFrame key(surface, Rect(0, 0, 100, 100), 0, 0);
    EXPECT_DOUBLE_EQ(key.costToEncodeFrame(), 1.0);
}

TEST(Frames, ThumbnailTakesEveryFactorthPixelWithOpaqueAlpha) {
    // 5 x 3 picture whose pixel (x, y) has blue x, green y, red 7, alpha 0.
    std::vector<std::uint8_t> packed;
    for (std::uint8_t y = 0; y < 3; ++y)
        for (std::uint8_t x = 0; x < 5; ++x)
            packed.insert(packed.end(), {x, y, 7, 0});
    std::vector<std::uint8_t> thumb(2 * 1 * 4);
    VTLRecorderThumbnailFrame::subsample(packed.data(), 5, 3, 2, thumb.data());
    EXPECT_EQ(thumb, (std::vector<std::uint8_t>{0, 0, 7, 255, 2, 0, 7, 255}));
}

} // namespace
} // namespace vtl
