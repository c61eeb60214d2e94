#include "TestPackage.h"
#include "recorder/format/RecordingFormat.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/reader/VistrelRecording.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace vtl {
namespace {

// A recording written by the recorder's own pipeline from the synthetic screen, and the
// pictures that screen showed, frame by frame.
struct WrittenRecording {
    std::string path;
    SyntheticRecordingSettings settings;
    Result<SyntheticRecordingSummary> result = fail("Not written yet.");
    std::vector<std::vector<std::uint8_t>> pictures;

    WrittenRecording() {
        settings.screen.width = 320;
        settings.screen.height = 280; // two stripes
        settings.screen.movingRects = 2;
        settings.screen.movingRectSize = 40;
        settings.screen.changingRects = 2;
        settings.screen.changingRectWidth = 60;
        settings.screen.changingRectHeight = 16;
        settings.screen.movedBlocks = true;
        settings.screen.scrollStepRows = 4;
        settings.framesPerSecond = 10;
        settings.seconds = 3.5;
        settings.recordQuality = RecordQuality::Highest;
        path = ::testing::TempDir() + "/round-trip-" + std::to_string(::getpid()) + ".vistrelRecord";
        std::filesystem::remove_all(path);
        result = writeSyntheticRecording(path, settings);
        // The same source replayed gives the picture of every frame.
        SyntheticScreenSource source(settings.screen);
        const std::size_t bytes = std::size_t(settings.screen.width) * settings.screen.height * 4;
        for (std::uint64_t i = 0; result && i + 1 < result->framesWritten; ++i) {
            source.nextFrame();
            auto snapshot = source.snapshot();
            pictures.emplace_back(snapshot->pixels(), snapshot->pixels() + bytes);
        }
        pictures.push_back(pictures.back()); // the stop frame shows the last picture
    }
    ~WrittenRecording() { std::filesystem::remove_all(path); }
};

WrittenRecording& written() {
    static WrittenRecording recording;
    return recording;
}

TEST(RoundTrip, TheRecordersPackageHoldsEveryKindOfFrame) {
    WrittenRecording& w = written();
    ASSERT_TRUE(w.result) << w.result.error();
    VistrelRecording recording(w.path);
    ASSERT_TRUE(recording.open()) << recording.openError();
    EXPECT_EQ(recording.numberOfFrames(), w.result->framesWritten);
    EXPECT_GE(w.result->keyFrames, 3u);
    // Count the kinds from the meta records.
    DirectoryPackageStorage storage(w.path);
    std::vector<std::uint8_t> meta;
    ASSERT_TRUE(storage.readWholeFile("vtlmeta", meta));
    int moved = 0, changed = 0, stops = 0;
    for (std::uint64_t i = 0; i < recording.numberOfFrames(); ++i) {
        FrameMetaRecord record;
        const auto offset = recording.directoryEntryAtIndex(i)->metaOffsetBytes;
        ASSERT_TRUE(parseFrameMetaRecord(std::span(meta).subspan(offset), record));
        moved += !record.movedRects.empty();
        changed += !record.isKeyFrame() && !record.changedRects.empty();
        stops += record.isStopFrame();
    }
    EXPECT_GT(moved, 0);
    EXPECT_GT(changed, 0);
    EXPECT_GE(stops, 1);
}

TEST(RoundTrip, EveryFrameAndTimeDecodesToTheSourcePicture) {
    WrittenRecording& w = written();
    ASSERT_TRUE(w.result) << w.result.error();
    auto recording = std::make_shared<VistrelRecording>(w.path);
    ASSERT_TRUE(recording->open());
    auto decoder = recording->makeDecompressionInfo();
    ASSERT_TRUE(decoder) << decoder.error();
    DecompressionInfo& info = **decoder;
    const std::size_t width = w.settings.screen.width, height = w.settings.screen.height;
    const std::uint64_t n = recording->numberOfFrames();
    auto check = [&](std::uint64_t frame) {
        EXPECT_TRUE(info.decompressFrame(frame)) << info.lastError();
        const auto d = test::compareBGR(info.frameBytes().data(), w.pictures[frame].data(), width, height);
        EXPECT_LE(d.mean, 2.5) << "frame " << frame;
        EXPECT_LE(d.maximum, 120) << "frame " << frame;
    };
    for (std::uint64_t i = 0; i < n; ++i)
        check(i);
    for (std::uint64_t i = n; i-- > 0;)
        check(i);
    std::mt19937 random(3);
    for (int i = 0; i < 20; ++i) {
        const std::uint64_t frame = random() % n;
        check(frame);
        check(frame);
    }
    // Times: each frame's own time and a moment later map back to it.
    for (std::uint64_t i = 0; i < n; ++i) {
        const double t = double(recording->timeOfFrame(i)) / 600.0;
        EXPECT_EQ(recording->indexOfTime(t), std::int64_t(i));
        if (i + 1 < n) {
            const double next = double(recording->timeOfFrame(i + 1)) / 600.0;
            EXPECT_EQ(recording->indexOfTime((t + next) / 2), std::int64_t(i));
        }
    }
    info.release();
}

TEST(RoundTrip, DurationAndThumbnailsMatchTheWriter) {
    WrittenRecording& w = written();
    ASSERT_TRUE(w.result) << w.result.error();
    VistrelRecording recording(w.path);
    ASSERT_TRUE(recording.open());
    EXPECT_DOUBLE_EQ(recording.duration(), w.result->durationSeconds);
    EXPECT_EQ(recording.numberOfThumbnails(), w.result->thumbnails);
    const std::uint64_t factor = thumbnailFactor(w.settings.screen.width, w.settings.screen.height);
    const Size size = recording.thumbSize();
    ASSERT_EQ(size.width, double(w.settings.screen.width / factor));
    // Each thumbnail samples the picture of the frame it was made from.
    const std::size_t width = w.settings.screen.width;
    for (std::uint64_t frame = 0; frame + 1 < recording.numberOfFrames(); frame += 5) {
        const double t = double(frame) / w.settings.framesPerSecond;
        if (recording.indexOfTimeInThumbnails(t) < 0) continue;
        const auto bytes = recording.thumbnailDataAtTime(t);
        ASSERT_FALSE(bytes.empty());
        const double thumbTime = [&] {
            std::vector<std::uint8_t> meta;
            DirectoryPackageStorage(w.path).readWholeFile("thumbmeta", meta);
            return parseThumbnailRecord(std::span(meta).subspan(recording.indexOfTimeInThumbnails(t) * 16))
                .value()
                .timeSeconds;
        }();
        const auto& picture = w.pictures[std::size_t(std::llround(thumbTime * w.settings.framesPerSecond))];
        for (std::size_t y = 0; y < std::size_t(size.height); ++y)
            for (std::size_t x = 0; x < std::size_t(size.width); ++x) {
                const std::uint8_t* thumb = bytes.data() + (y * std::size_t(size.width) + x) * 4;
                const std::uint8_t* source = picture.data() + ((y * factor) * width + x * factor) * 4;
                ASSERT_EQ(std::memcmp(thumb, source, 3), 0) << x << "," << y;
                ASSERT_EQ(thumb[3], 255);
            }
    }
    EXPECT_EQ(recording.posterImages().size(), 3u);
}

} // namespace
} // namespace vtl
