// Scrolls found by the capture layer's detector, written by the recorder's frame pipeline as
// moved records and read back by the package reader: the picture comes back within the JPEG
// bound, and the moved part costs no JPEG data.

#include "TestPackage.h"
#include "platform/capture/ScrollDetector.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTLRecorderKeyFrame.h"
#include "recorder/VTLRecorderMoveChangeBlockFrame.h"
#include "recorder/VTLRecorderStopFrame.h"
#include "tracks/reader/VistrelRecording.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace vtl {
namespace {

constexpr std::uint32_t kTripWidth = 400;
constexpr std::uint32_t kTripHeight = 300;

std::shared_ptr<MemorySurface> tripTextPicture(unsigned seed) {
    auto surface = std::make_shared<MemorySurface>(kTripWidth, kTripHeight);
    auto* pixels = reinterpret_cast<std::uint32_t*>(surface->pixels());
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < std::size_t(kTripWidth) * kTripHeight; ++i)
        pixels[i] = 0xfff4f4f4;
    for (std::uint32_t line = 0; line + 12 <= kTripHeight; line += 14)
        for (std::uint32_t x = 4; x + 10 < kTripWidth;) {
            const std::uint32_t glyph = 3 + random() % 6;
            // Grey ink, as text mostly is: colour edges this thin are beyond what JPEG keeps.
            const std::uint32_t ink = 0xff000000 | (random() % 0x50) * 0x010101u;
            for (std::uint32_t y = line + 2 + random() % 3; y < line + 11; ++y)
                for (std::uint32_t gx = x; gx < x + glyph; ++gx)
                    pixels[y * kTripWidth + gx] = ink;
            x += glyph + 2;
        }
    return surface;
}

// The previous picture with rows (or columns) of `area` shifted by (dx, dy), the exposed part
// taken from a fresh picture.
std::shared_ptr<MemorySurface> scrolledPicture(const MemorySurface& previous, Rect area, int dx, int dy,
                                               unsigned seed) {
    auto fresh = tripTextPicture(seed);
    auto result = std::make_shared<MemorySurface>(kTripWidth, kTripHeight);
    std::memcpy(result->pixels(), previous.pixels(), std::size_t(kTripWidth) * kTripHeight * 4);
    auto at = [](const std::uint8_t* p, int x, int y) { return p + (std::size_t(y) * kTripWidth + x) * 4; };
    for (int y = int(area.minY()); y < int(area.maxY()); ++y)
        for (int x = int(area.minX()); x < int(area.maxX()); ++x) {
            const int sx = x + dx, sy = y + dy;
            const bool inside =
                sx >= area.minX() && sx < area.maxX() && sy >= area.minY() && sy < area.maxY();
            std::memcpy(result->pixels() + (std::size_t(y) * kTripWidth + x) * 4,
                        inside ? at(previous.pixels(), sx, sy) : at(fresh->pixels(), x, y), 4);
        }
    return result;
}

struct ScrollTrip {
    const char* name;
    Rect area;
    int dx, dy;
    bool changeInside; // a line inside the scrolled part changes as well
};

TEST(ScrollRoundTrip, DetectedScrollsDecodeToTheCapturedPictureWithOnlyTheStripEncoded) {
    const ScrollTrip trips[] = {
        {"up", Rect(20, 30, 300, 250), 0, 14, false},
        {"down", Rect(20, 30, 300, 250), 0, -28, false},
        {"sideways", Rect(0, 0, 400, 300), 40, 0, false},
        {"changed while scrolling", Rect(20, 30, 300, 250), 0, 7, true},
    };
    for (const ScrollTrip& trip : trips) {
        SCOPED_TRACE(trip.name);
        auto previous = tripTextPicture(11);
        auto current = scrolledPicture(*previous, trip.area, trip.dx, trip.dy, 12);
        if (trip.changeInside)
            for (int y = 150; y < 153; ++y)
                for (int x = 100; x < 140; ++x)
                    std::memcpy(current->pixels() + (std::size_t(y) * kTripWidth + x) * 4, "\x20\x20\x20\xff",
                                4);
        ScrollDetector detector;
        const DisplayStreamUpdate update =
            detector.detect({previous->pixels(), kTripWidth * 4, kTripWidth, kTripHeight},
                            {current->pixels(), kTripWidth * 4, kTripWidth, kTripHeight}, {trip.area});
        ASSERT_FALSE(update.movedRects().empty());
        EXPECT_EQ(update.moveDeltaX(), trip.dx);
        EXPECT_EQ(update.moveDeltaY(), trip.dy);
        double changedPixels = 0;
        for (const Rect& r : update.refreshedRects())
            changedPixels += r.width() * r.height();
        EXPECT_LT(changedPixels, 0.25 * trip.area.width() * trip.area.height());
        // Not counted as changed area, the scroll needs no key frame.
        EXPECT_EQ(VTLRecorderKeyFrame::surfaceRequiresKeyframe(kTripWidth, kTripHeight,
                                                               update.refreshedRects(), 1, 30),
                  KeyFrameDecision::NotNeeded);

        const std::string path =
            ::testing::TempDir() + "/scroll-trip-" + std::to_string(::getpid()) + ".vistrelRecord";
        std::filesystem::remove_all(path);
        std::filesystem::create_directory(path);
        {
            EncodeQueueSettings settings;
            settings.frameRate = 30;
            settings.areaWidthPixels = kTripWidth;
            settings.areaHeightPixels = kTripHeight;
            VTL3RecordEndcodeQueue queue(settings);
            ASSERT_TRUE(queue.prepareForRecording(path));
            const Rect area(0, 0, kTripWidth, kTripHeight);
            auto key = std::make_unique<VTLRecorderKeyFrame>(previous, area, 0.0, 0);
            key->setRecordQuality(RecordQuality::Highest);
            key->processSurface(queue.pool());
            queue.addRecorderFrame(std::move(key));
            auto block = std::make_unique<VTLRecorderMoveChangeBlockFrame>(
                current, area, 1.0 / 30, 1, update.movedRects(), update.moveDeltaX(), update.moveDeltaY(),
                update.refreshedRects());
            block->setRecordQuality(RecordQuality::Highest);
            block->processSurface(queue.pool());
            queue.addRecorderFrame(std::move(block));
            queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(2.0 / 30, 2));
            ASSERT_TRUE(queue.finalizeRecord());
        }
        auto recording = std::make_shared<VistrelRecording>(path);
        ASSERT_TRUE(recording->open()) << recording->openError();
        auto decoder = recording->makeDecompressionInfo();
        ASSERT_TRUE(decoder) << decoder.error();
        DecompressionInfo& info = **decoder;
        for (std::uint64_t frame : {0, 1}) {
            EXPECT_TRUE(info.decompressFrame(frame)) << info.lastError();
            const auto d =
                test::compareBGR(info.frameBytes().data(), (frame == 0 ? previous : current)->pixels(),
                                 kTripWidth, kTripHeight);
            EXPECT_LE(d.mean, 2.5) << "frame " << frame;
            EXPECT_LE(d.maximum, 120) << "frame " << frame;
        }
        info.release();
        std::filesystem::remove_all(path);
    }
}

} // namespace
} // namespace vtl
