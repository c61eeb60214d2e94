#include "TestPackage.h"
#include "tracks/reader/VistrelDecoderCachedBuffer.h"
#include "tracks/reader/VistrelRecording.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace vtl {
namespace {

using test::Picture;
using test::TestPackage;

constexpr std::size_t kSide = 24;
constexpr std::uint64_t kFrames = 40; // and a stop frame

// 40 frames of 1/30 s with a key frame every 10, each changing a block.
TestPackage makeRecording() {
    TestPackage package(kSide, kSide, 10);
    Picture picture = test::smoothPicture(kSide, kSide, 0);
    for (std::uint64_t i = 0; i < kFrames; ++i) {
        if (i % 10 == 0) {
            package.addKeyFrame(picture, i * 20);
        } else {
            test::copyBlock(test::smoothPicture(kSide, kSide, int(i)), 0, 0, picture, 8, 0, 16, 16);
            package.addBlockFrame(picture, {}, {{8, 0, 16, 16}}, i * 20);
        }
    }
    package.addStopFrame(kFrames * 20);
    package.finish();
    return package;
}

double secondsOf(std::uint64_t frame) {
    return frame * 20 / 600.0 + 0.001;
}

// Polls a condition the cache's thread brings about; fails after a generous limit.
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

struct CacheFixture {
    TestPackage package = makeRecording();
    std::shared_ptr<VistrelRecording> recording = std::make_shared<VistrelRecording>(package.storage());
    VistrelDecoderCachedBuffer cache{recording, 0, 15};

    bool matches(const BitmapImage& image, std::uint64_t frame) const {
        if (image.isEmpty() || image.width() != kSide || image.height() != kSide) return false;
        return test::compareBGR(image.data(), package.expected()[frame].bgra.data(), kSide, kSide).mean < 3.0;
    }
};

TEST(DecoderCache, SequentialPlaybackGetsEveryFrameInOrder) {
    CacheFixture f;
    std::vector<std::uint64_t> uploaded;
    std::mutex uploadedMutex;
    f.cache.setColorspaceAndStartDecoding("sRGB", [&](std::uint64_t frame, const BitmapImage& image) {
        EXPECT_FALSE(image.isEmpty());
        std::lock_guard lock(uploadedMutex);
        uploaded.push_back(frame);
    });
    ASSERT_TRUE(f.cache.isRunning());
    for (std::uint64_t frame = 0; frame <= kFrames; ++frame)
        EXPECT_TRUE(f.matches(f.cache.createImageAtTime(secondsOf(frame)), frame)) << frame;
    EXPECT_EQ(f.cache.requestCount(), kFrames + 1);
    // Near the end the window holds only frames that exist.
    EXPECT_TRUE(eventually([&] { return f.cache.cacheBuffer()->firstFrameNumber() == kFrames; }));
    EXPECT_LE(f.cache.cacheBuffer()->numberOfFrames(), 1u);
    f.cache.cancelCaching();
    std::lock_guard lock(uploadedMutex);
    // Frames were handed to the upload hook ahead of need (which ones depends on the pace).
    EXPECT_FALSE(uploaded.empty());
}

TEST(DecoderCache, TheWholeWindowIsDecodedAheadWithoutWaitingForARequest) {
    CacheFixture f;
    f.cache.setColorspaceAndStartDecoding("sRGB", {});
    EXPECT_TRUE(eventually([&] {
        const auto window = f.cache.cacheBuffer()->copyFramesFromBeginning(15);
        return window.size() == 15 &&
               std::all_of(window.begin(), window.end(), [](const auto& e) { return e->hasBeenDecoded(); });
    }));
    EXPECT_EQ(f.cache.waitedRequestCount(), 0u);
    EXPECT_TRUE(f.matches(f.cache.createImageAtTime(secondsOf(14)), 14));
    EXPECT_EQ(f.cache.waitedRequestCount(), 0u);
}

TEST(DecoderCache, JumpsAndRepeatsAnswerTheRightFrame) {
    CacheFixture f;
    f.cache.setColorspaceAndStartDecoding("sRGB", {});
    for (std::uint64_t frame : {20u, 21u, 22u, 12u, 12u, 35u, 3u, 39u, 0u, 33u, 34u, 33u})
        EXPECT_TRUE(f.matches(f.cache.createImageAtTime(secondsOf(frame)), frame)) << frame;
    // A request inside the window drops the entries before it on the thread's next pass.
    f.cache.createImageAtTime(secondsOf(5));
    f.cache.createImageAtTime(secondsOf(8));
    EXPECT_TRUE(eventually([&] { return f.cache.cacheBuffer()->firstFrameNumber() == 8; }));
}

TEST(DecoderCache, RequestsWithoutAFrameReturnAtOnce) {
    CacheFixture f;
    // Not started: there is no thread to wait for.
    EXPECT_TRUE(f.cache.createImageAtTime(0.1).isEmpty());
    f.cache.setColorspaceAndStartDecoding("sRGB", {});
    EXPECT_TRUE(f.cache.createImageAtTime(100.0).isEmpty()); // after the end
    EXPECT_TRUE(f.cache.createImageAtTime(-1.0).isEmpty());
    EXPECT_FALSE(f.cache.createImageAtTime(0.0).isEmpty());
    f.cache.cancelCaching();
    EXPECT_FALSE(f.cache.isRunning());
    EXPECT_TRUE(f.cache.createImageAtTime(0.1).isEmpty());
    // It can be started again.
    EXPECT_TRUE(f.cache.startCache());
    EXPECT_TRUE(f.matches(f.cache.createImageAtTime(secondsOf(7)), 7));

    // A recording that cannot be read gives a cache that never runs.
    auto broken = std::make_shared<VistrelRecording>(std::make_shared<MemoryPackageStorage>());
    VistrelDecoderCachedBuffer brokenCache(broken, 0, 15);
    brokenCache.setColorspaceAndStartDecoding("sRGB", {});
    EXPECT_FALSE(brokenCache.isRunning());
    EXPECT_TRUE(brokenCache.createImageAtTime(0.1).isEmpty());
}

TEST(DecoderCache, CancelWakesEveryWaiter) {
    CacheFixture f;
    // The thread's first upload blocks until released, so later frames stay undecoded.
    std::mutex gateMutex;
    std::condition_variable gate;
    bool open = false;
    f.cache.setColorspaceAndStartDecoding("sRGB", [&](std::uint64_t, const BitmapImage&) {
        std::unique_lock lock(gateMutex);
        gate.wait(lock, [&] { return open; });
    });
    ASSERT_TRUE(eventually([&] { return f.cache.cacheBuffer()->numberOfFrames() == 15; }));
    std::vector<BitmapImage> results(3);
    std::vector<std::thread> waiters;
    for (std::size_t i = 0; i < results.size(); ++i)
        waiters.emplace_back([&, i] { results[i] = f.cache.createImageAtTime(secondsOf(2 + i)); });
    ASSERT_TRUE(eventually([&] { return f.cache.waitedRequestCount() == results.size(); }));
    std::thread canceller([&] { f.cache.cancelCaching(); });
    ASSERT_TRUE(eventually([&] { return !f.cache.isRunning(); }));
    {
        std::lock_guard lock(gateMutex);
        open = true;
    }
    gate.notify_all();
    canceller.join();
    for (auto& waiter : waiters)
        waiter.join();
    // Each waiter came back; a frame it got is the right one.
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!results[i].isEmpty()) {
            EXPECT_TRUE(f.matches(results[i], 2 + i));
        }
}

TEST(DecoderCache, ManyRenderersAtOnceStayConsistent) {
    CacheFixture f;
    f.cache.setColorspaceAndStartDecoding("sRGB", {});
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            for (std::uint64_t i = 0; i < 30; ++i) {
                const std::uint64_t frame = (i * (t + 1) * 7) % kFrames;
                const BitmapImage image = f.cache.createImageAtTime(secondsOf(frame));
                // A frame dropped by another thread's jump comes back empty; one that comes is right.
                if (!image.isEmpty() && !f.matches(image, frame)) ++wrong;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace vtl

namespace vtl {
namespace {

TEST(PixelBufferPool, PixelsComeBackWhenTheLastCopyIsDropped) {
    PixelBufferPool pool(8, 4, 2);
    BitmapImage a = pool.take();
    BitmapImage b = pool.take();
    ASSERT_FALSE(a.isEmpty());
    EXPECT_EQ(a.bytesPerRow(), 32u);
    const std::uint8_t* pixelsOfA = a.data();
    BitmapImage stillHeld = a;
    a = BitmapImage();
    EXPECT_EQ(pool.keptCount(), 0u); // a copy still holds them
    stillHeld = BitmapImage();
    EXPECT_EQ(pool.keptCount(), 1u);
    EXPECT_EQ(pool.take().data(), pixelsOfA);
    // At most maxKept are kept; images may outlive their pool.
    BitmapImage c = pool.take(), d = pool.take(), e = pool.take();
    c = d = e = BitmapImage();
    EXPECT_EQ(pool.keptCount(), 2u);
    auto shortLived = std::make_unique<PixelBufferPool>(8, 4, 2);
    BitmapImage orphan = shortLived->take();
    shortLived.reset();
    orphan = BitmapImage();
}

} // namespace
} // namespace vtl
