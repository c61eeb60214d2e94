// The playback context: the right picture at every moment of real-time playback, a bounded
// decode-ahead on a clock the test moves, non-blocking frame requests, and seek completions on
// the main queue.

#include "platform/media/PlaybackContext.h"

#include "MediaFixtures.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaFrameReader.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <thread>

using namespace vtl;
using namespace vtl::test;

namespace {

// A digest per frame start, from the sequential reader (whose pictures match the ffmpeg tool's).
std::map<std::int64_t, std::size_t> frameDigests(const std::shared_ptr<const MediaAsset>& asset) {
    std::map<std::int64_t, std::size_t> digests;
    auto reader = MediaFrameReader::open(asset, 0);
    EXPECT_TRUE(reader.ok());
    if (!reader.ok()) return digests;
    for (;;) {
        auto frame = (*reader)->nextFrame();
        if (!frame.ok() || !*frame) break;
        const BitmapImage& image = (*frame)->image;
        digests[(*frame)->time.convertedToScale(600).value] = std::hash<std::string_view>{}(
            std::string_view(reinterpret_cast<const char*>(image.data()), image.byteCount()));
    }
    return digests;
}

std::size_t digestOf(const VideoFrame& frame) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(frame.image.data()), frame.image.byteCount()));
}

bool waitFor(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The frame start (in 1/600 s) of the frame holding `time` in a 30 fps clip.
std::int64_t frameStart600(MediaTime time) {
    const MediaTime frames = time.convertedToScale(30, MediaTime::Rounding::Down);
    return frames.value * 20;
}

} // namespace

TEST(PlaybackContext, RealTimePlaybackFromTwoSecondsGivesTheRightPictureAtEveryPoll) {
    auto asset = MediaAsset::open(mediaFixture("h264-360p"));
    ASSERT_TRUE(asset.ok()) << asset.error();
    const auto digests = frameDigests(*asset);
    ASSERT_EQ(digests.size(), 180u);
    auto context = PlaybackContext::create(*asset, 0);
    ASSERT_TRUE(context.ok()) << context.error();
    PlaybackContext& playback = **context;

    playback.play(MediaTime{1200, 600});
    ASSERT_TRUE(waitFor([&] { return playback.isReady(); }, 10));
    int polls = 0;
    int missing = 0;
    std::int64_t lastStart = -1;
    const auto begin = std::chrono::steady_clock::now();
    for (auto next = begin; next < begin + std::chrono::seconds(3);
         next += std::chrono::microseconds(16667)) {
        std::this_thread::sleep_until(next);
        const MediaTime now = playback.currentTime();
        auto frame = playback.frameForTime(now);
        ++polls;
        if (!frame) {
            ++missing;
            continue;
        }
        const std::int64_t start = frameStart600(now);
        ASSERT_EQ(frame->time.convertedToScale(600).value, start) << "at " << now.seconds();
        ASSERT_EQ(digestOf(*frame), digests.at(start)) << "at " << now.seconds();
        EXPECT_GE(start, lastStart); // playback only moves forward
        lastStart = start;
    }
    EXPECT_GE(polls, 170);
    // The decoder keeps eight pictures ahead, so a poll finds its picture unless the machine stalls.
    EXPECT_LE(missing, polls / 20) << missing << " of " << polls << " polls found no picture";
    EXPECT_GE(lastStart, 2900);

    // A new preparation stamp: the renderer's track pauses the context and plays it again at the
    // current time, which seeks.
    ASSERT_NE(playback.preparedForTime(), 4.0);
    playback.pause();
    playback.setPreparedForTime(4.0);
    const MediaTime restart{2400, 600};
    playback.play(restart);
    ASSERT_TRUE(waitFor([&] { return playback.isReady(); }, 10));
    auto frame = playback.frameForTime(restart);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->time, restart);
    EXPECT_EQ(digestOf(*frame), digests.at(2400));
}

TEST(PlaybackContext, DecodesAtMostEightFramesAheadOfItsClock) {
    auto asset = MediaAsset::open(mediaFixture("h264-360p"));
    ASSERT_TRUE(asset.ok()) << asset.error();
    std::atomic<double> clockSeconds{100.0};
    PlaybackContextOptions options;
    options.clock = [&] { return clockSeconds.load(); };
    auto context = PlaybackContext::create(*asset, 0, options);
    ASSERT_TRUE(context.ok()) << context.error();
    PlaybackContext& playback = **context;

    playback.play(MediaTime{600, 600});
    ASSERT_TRUE(waitFor([&] { return playback.framesAheadOfClock() == 8; }, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(playback.framesAheadOfClock(), 8);
    EXPECT_EQ(playback.currentTime(), (MediaTime{600, 600}));

    // A picture that is not decoded yet is not waited for.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(playback.frameForTime(MediaTime{3000, 600}));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(50));

    // Five frames of clock later, five more pictures are decoded and the passed ones let go.
    clockSeconds = 100.0 + 5.0 / 30;
    ASSERT_TRUE(playback.frameForTime(playback.currentTime()));
    ASSERT_TRUE(waitFor([&] { return playback.framesAheadOfClock() == 8; }, 10));
    auto frame = playback.frameForTime(playback.currentTime());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->time, (MediaTime{700, 600}));
    // Pausing stops the clock: nothing more is decoded.
    playback.pause();
    clockSeconds = 200.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(playback.currentTime(), (MediaTime{700, 600}));
    EXPECT_EQ(playback.framesAheadOfClock(), 8);
}

TEST(PlaybackContext, AFinishedSeekPostsItsCompletionToTheMainQueue) {
    auto asset = MediaAsset::open(mediaFixture("h264-360p"));
    ASSERT_TRUE(asset.ok()) << asset.error();
    auto context = PlaybackContext::create(*asset, 0);
    ASSERT_TRUE(context.ok()) << context.error();
    PlaybackContext& playback = **context;

    std::atomic<int> first{0};
    std::atomic<int> second{0};
    std::atomic<bool> onMain{false};
    // The first seek is replaced before it can finish, or finishes first; either way the last one
    // reports once, on the main thread, with its picture ready.
    playback.seek(MediaTime{3000, 600}, [&] { ++first; });
    playback.seek(MediaTime{1810, 600}, [&] {
        onMain = isMainThread();
        ++second;
    });
    EXPECT_TRUE(runMainLoopUntil([&] { return second.load() == 1; }, 10));
    EXPECT_TRUE(onMain);
    EXPECT_LE(first.load(), 1);
    EXPECT_FALSE(playback.isPlaying());
    auto frame = playback.frameForTime(MediaTime{1810, 600});
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->time, (MediaTime{1800, 600}));
    // Paused, the clock stands at the seek's time.
    EXPECT_EQ(playback.currentTime(), (MediaTime{1810, 600}));
    // The same picture again is not new.
    EXPECT_FALSE(playback.hasNewFrameForTime(MediaTime{1815, 600}));

    // Past the end there is no picture, and the seek still completes.
    std::atomic<bool> done{false};
    playback.seek(MediaTime{7200, 600}, [&] { done = true; });
    EXPECT_TRUE(runMainLoopUntil([&] { return done.load(); }, 10));
    EXPECT_FALSE(playback.frameForTime(MediaTime{7200, 600}));
}
