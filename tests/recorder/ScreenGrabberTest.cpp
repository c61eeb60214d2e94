#include "ScreenGrabberTestSupport.h"
#include "TestPackage.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTL3RecordImageGrabber.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vtl {
namespace {

using testing::Bytes;
using testing::FakeCoordinator;
using testing::TestPackage;

constexpr std::uint32_t kSurfaceWidth = 64;
constexpr std::uint32_t kSurfaceHeight = 48;

// Updates handed to the grabber by the test, as a display stream would.
class InjectedSource final : public ScreenGrabberUpdateSource {
public:
    explicit InjectedSource(DisplayStreamHandler handler)
        : handler_(std::move(handler)) {}
    Status start() override {
        ++starts;
        return {};
    }
    void stop() override { ++stops; }
    void deliver(std::uint64_t displayTimeNanoseconds, const std::shared_ptr<CaptureSurface>& surface,
                 std::vector<Rect> refreshed) {
        handler_(DisplayStreamFrameStatus::frameComplete, displayTimeNanoseconds, surface,
                 std::make_shared<const DisplayStreamUpdate>(std::move(refreshed)));
    }
    int starts = 0;
    int stops = 0;

private:
    DisplayStreamHandler handler_;
};

// A picture of solid rectangles painted on the way, kept as the truth the package must show.
class Screen {
public:
    Screen() { fill({0, 0, kSurfaceWidth, kSurfaceHeight}, 0x204060); }
    void fill(const Rect& r, std::uint32_t rgb) {
        for (int y = int(r.minY()); y < int(r.maxY()); ++y)
            for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
                std::uint8_t* p = pixels_.data() + (std::size_t(y) * kSurfaceWidth + x) * 4;
                p[0] = rgb & 0xff;
                p[1] = (rgb >> 8) & 0xff;
                p[2] = (rgb >> 16) & 0xff;
                p[3] = 0;
            }
    }
    // A fresh surface holding the picture now, as the stream's ring would hand out.
    std::shared_ptr<CaptureSurface> surface() const {
        auto s = std::make_shared<CaptureSurface>(kSurfaceWidth, kSurfaceHeight);
        std::copy(pixels_.begin(), pixels_.end(), s->baseAddress());
        return s;
    }
    const Bytes& pixels() const { return pixels_; }

private:
    Bytes pixels_ = Bytes(std::size_t{kSurfaceWidth} * kSurfaceHeight * 4);
};

std::uint64_t atSeconds(double seconds) {
    return static_cast<std::uint64_t>(std::llround(seconds * 1e9));
}

class ScreenGrabberTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 (std::string("vistrel-grabber-") + info->name() + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "take.vistrelRecord");
        coordinator.path = (folder / "take.vistrelRecord").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // A grabber on an injected source, a hand-set clock and disk, writing a real package.
    void make(std::uint32_t frameRate, ByteSinkFactory sinks = {}) {
        EncodeQueueSettings settings;
        settings.sinkFactory = std::move(sinks);
        settings.frameRate = frameRate;
        settings.areaWidthPixels = kSurfaceWidth;
        settings.areaHeightPixels = kSurfaceHeight;
        settings.encodeThreads = 2;
        settings.pool = &pool;
        queue = std::make_unique<VTL3RecordEndcodeQueue>(settings);
        Status prepared = queue->prepareForRecording(coordinator.path);
        ASSERT_TRUE(prepared) << prepared.error();
        ImageGrabberServices services;
        services.openUpdateSource =
            [this](const DisplayStreamConfiguration& config,
                   DisplayStreamHandler handler) -> Result<std::unique_ptr<ScreenGrabberUpdateSource>> {
            streamConfig = config;
            auto s = std::make_unique<InjectedSource>(std::move(handler));
            source = s.get();
            return std::unique_ptr<ScreenGrabberUpdateSource>(std::move(s));
        };
        services.clockSeconds = [this] { return clock; };
        services.freeDiskSpace = [this](const std::string&) { return freeDisk; };
        services.synchronousWork = true;
        auto created = VTL3RecordImageGrabber::create(frameRate, RecordMode::Area, *queue, coordinator,
                                                      RecordQuality::High, services);
        ASSERT_TRUE(created) << created.error();
        grabber = std::move(created).value();
        coordinator.grabber = grabber.get();
        grabber->startProcessQueue();
        grabber->startRecord();
        grabber->setWriteToMovie();
    }

    // Sets the encoder pressure by hand: the queue no longer reports its own.
    void pressure(double value) {
        queue->setPressureHandler({});
        grabber->setEncodeQueuePressure(value);
    }

    // Delivers the screen as it is now at clock time `seconds`.
    void deliver(double seconds, std::vector<Rect> changed) {
        clock = seconds;
        source->deliver(atSeconds(seconds), screen.surface(), std::move(changed));
    }

    TestPackage finish() {
        grabber->stopRecord();
        grabber->finalizeRecord();
        TestPackage package;
        std::string error;
        EXPECT_TRUE(package.load(coordinator.path, error)) << error;
        return package;
    }

    // Rebuilds the picture after frame `last` and compares it with `expected`.
    testing::PictureError pictureAfter(const TestPackage& package, std::size_t last, const Bytes& expected) {
        Bytes picture;
        std::string error;
        for (std::size_t i = 0; i <= last; ++i)
            EXPECT_TRUE(package.applyFrame(i, picture, error)) << error;
        return testing::comparePictures(picture.data(), expected.data(), std::size_t{kSurfaceWidth} * kSurfaceHeight,
                                        kSurfaceWidth);
    }

    std::filesystem::path folder;
    VTLMallocPool pool;
    FakeCoordinator coordinator{Rect(100, 50, kSurfaceWidth, kSurfaceHeight)};
    std::unique_ptr<VTL3RecordEndcodeQueue> queue;
    std::unique_ptr<VTL3RecordImageGrabber> grabber;
    InjectedSource* source = nullptr;
    DisplayStreamConfiguration streamConfig;
    Screen screen;
    double clock = 100.0;
    std::optional<std::uint64_t> freeDisk = std::uint64_t{50} * 1000 * 1000 * 1000;
};

TEST_F(ScreenGrabberTest, OpensTheStreamOnTheRecordedAreaAndRefusesFrameRatesBelowTwo) {
    make(30);
    EXPECT_EQ(streamConfig.displayID, 1u);
    EXPECT_EQ(streamConfig.sourceRect, (Rect{100, 50, kSurfaceWidth, kSurfaceHeight}));
    EXPECT_EQ(streamConfig.outputWidth, kSurfaceWidth);
    EXPECT_EQ(streamConfig.outputHeight, kSurfaceHeight);
    EXPECT_EQ(streamConfig.queueDepth, 8);
    EXPECT_DOUBLE_EQ(streamConfig.minimumFrameTimeSeconds, 1.0 / 30);
    EXPECT_EQ(coordinator.started, 1);
    EXPECT_EQ(source->starts, 1);

    for (std::uint64_t rate : {0u, 1u}) {
        auto refused = VTL3RecordImageGrabber::create(rate, RecordMode::FullScreen, *queue, coordinator,
                                                      RecordQuality::High);
        EXPECT_FALSE(refused);
        EXPECT_NE(refused.error().find("at least 2 frames per second"), std::string::npos) << refused.error();
    }
    ImageGrabberServices noDisplay;
    noDisplay.openUpdateSource = [](const DisplayStreamConfiguration&, DisplayStreamHandler)
        -> Result<std::unique_ptr<ScreenGrabberUpdateSource>> { return fail("No X display"); };
    auto refused = VTL3RecordImageGrabber::create(30, RecordMode::FullScreen, *queue, coordinator,
                                                  RecordQuality::High, noDisplay);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), "No X display");
    finish();
}

TEST_F(ScreenGrabberTest, WritesKeyAndChangedBlockFramesThatRebuildThePicture) {
    make(10);
    deliver(100.0, {{0, 0, kSurfaceWidth, kSurfaceHeight}});
    screen.fill({8, 8, 10, 6}, 0xff0000);
    deliver(100.1, {{8, 8, 10, 6}});
    screen.fill({0, 0, kSurfaceWidth, 40}, 0x00ff00); // 83 % of the picture: a key frame
    deliver(100.2, {{0, 0, kSurfaceWidth, 40}});
    screen.fill({30, 41, 20, 5}, 0x0000ff);
    deliver(100.3, {{30, 41, 20, 5}});
    TestPackage package = finish();

    ASSERT_EQ(package.entries.size(), 5u); // four frames and the stop frame
    const bool keys[] = {true, false, true, false, false};
    const std::uint64_t ticks[] = {0, 60, 120, 180};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(package.entries[i].frameIndex, i);
        EXPECT_EQ(package.entries[i].isKeyFrame, keys[i]) << "frame " << i;
        if (i < 4) {
            EXPECT_NEAR(double(package.entries[i].time), double(ticks[i]), 1.0) << "frame " << i;
        }
    }
    EXPECT_EQ(package.header.displaySizeHorizontal, kSurfaceWidth);
    EXPECT_EQ(package.header.numberFrameEntries, 5u);
    testing::PictureError e = pictureAfter(package, 3, screen.pixels());
    EXPECT_LT(e.worstTileMean, 6.0);
    EXPECT_EQ(grabber->statistics().kept, 4u);
    EXPECT_EQ(coordinator.done, 1);
    // The first frame made a thumbnail.
    EXPECT_GE(package.thumbMeta.size() / 16, 1u);
    EXPECT_EQ(package.thumbMeta.size() / 16, grabber->statistics().thumbnails);
}

TEST_F(ScreenGrabberTest, ChangesOfSkippedAndDroppedUpdatesReachTheNextFrame) {
    make(30);
    deliver(100.0, {{0, 0, kSurfaceWidth, kSurfaceHeight}});
    // Above pressure 5 no frame is made at all.
    pressure(6.0);
    screen.fill({0, 0, 16, 16}, 0xffffff);
    deliver(100.002, {{0, 0, 16, 16}});
    // Moderate pressure: a costly frame soon after the last one is dropped.
    pressure(2.0);
    screen.fill({40, 30, 20, 16}, 0xff00ff);
    deliver(100.004, {{40, 30, 20, 16}});
    auto s = grabber->statistics();
    EXPECT_EQ(s.skipped, 1u);
    EXPECT_EQ(s.dropped, 1u);
    EXPECT_EQ(s.kept, 1u);
    // Pressure gone: a small change carries everything held back.
    pressure(0.0);
    screen.fill({20, 20, 2, 2}, 0x00ffff);
    deliver(100.03, {{20, 20, 2, 2}});
    TestPackage package = finish();

    ASSERT_EQ(package.entries.size(), 3u);
    EXPECT_EQ(package.entries[1].frameIndex, 1u);
    EXPECT_FALSE(package.entries[1].isKeyFrame);
    EXPECT_LT(pictureAfter(package, 1, screen.pixels()).worstTileMean, 6.0);
}

TEST_F(ScreenGrabberTest, PausedTimeIsLeftOutAndUpdatesWhilePausedAreIgnored) {
    make(10);
    deliver(100.0, {{0, 0, kSurfaceWidth, kSurfaceHeight}});
    screen.fill({0, 0, 4, 4}, 0xffffff);
    deliver(100.5, {{0, 0, 4, 4}});
    clock = 100.6;
    grabber->setPaused(true);
    grabber->setPaused(true);
    EXPECT_EQ(source->stops, 1);
    deliver(105.0, {{0, 0, 4, 4}}); // a late update while paused
    clock = 110.6;
    grabber->setPaused(false);
    EXPECT_EQ(source->starts, 2);
    screen.fill({4, 4, 4, 4}, 0x000000);
    deliver(110.7, {{4, 4, 4, 4}});
    clock = 111.0;
    TestPackage package = finish();

    ASSERT_EQ(package.entries.size(), 4u);
    EXPECT_EQ(package.entries[1].time, 300u);
    EXPECT_NEAR(double(package.entries[2].time), 420.0, 1.0); // 0.7 s: follows on from 0.5 s
    EXPECT_NEAR(double(package.entries[3].time), 600.0, 1.0); // the stop frame at 1.0 s
}

// Fails every append once the first `budget` appends to the file went through.
class FailingSink final : public ByteSink {
public:
    FailingSink(std::unique_ptr<ByteSink> inner, int budget)
        : inner_(std::move(inner))
        , budget_(budget) {}
    Status append(const std::uint8_t* data, std::size_t size) override {
        if (budget_-- > 0) return inner_->append(data, size);
        return fail("Writing failed: Input/output error.");
    }
    Status writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
        return inner_->writeAt(offset, data, size);
    }
    Status truncate(std::uint64_t size) override { return inner_->truncate(size); }
    Status close() override { return inner_->close(); }

private:
    std::unique_ptr<ByteSink> inner_;
    int budget_;
};

TEST_F(ScreenGrabberTest, AWriteFailureIsReportedAsErrorOneWithThePackageKept) {
    make(10, [](const std::string& path) -> Result<std::unique_ptr<ByteSink>> {
        auto inner = FileByteSink::create(path);
        if (!inner || std::filesystem::path(path).filename() != "vtldata") return inner;
        return std::unique_ptr<ByteSink>(std::make_unique<FailingSink>(std::move(inner).value(), 1));
    });
    deliver(100.0, {{0, 0, kSurfaceWidth, kSurfaceHeight}});
    screen.fill({1, 1, 2, 2}, 0xff0000);
    deliver(100.1, {{1, 1, 2, 2}});
    TestPackage package = finish();
    EXPECT_EQ(coordinator.errors, std::vector<int>{1});
    EXPECT_EQ(coordinator.done, 1);
    EXPECT_EQ(package.entries.size(), 1u) << "the frame before the failure stays";
}

TEST_F(ScreenGrabberTest, LowDiskSpaceStopsWithErrorOneAndStillFinishesThePackage) {
    make(10);
    freeDisk = std::uint64_t{999} * 1000 * 1000;
    deliver(100.0, {{0, 0, kSurfaceWidth, kSurfaceHeight}});
    screen.fill({1, 1, 2, 2}, 0xff0000);
    deliver(109.9, {{1, 1, 2, 2}}); // less than 10 seconds since the grabber was made
    EXPECT_EQ(coordinator.stopRequests, 0);
    screen.fill({3, 3, 2, 2}, 0x00ff00);
    deliver(110.0, {{3, 3, 2, 2}});
    EXPECT_EQ(coordinator.stopRequests, 1);
    EXPECT_EQ(coordinator.errors, std::vector<int>{1});
    deliver(125.0, {{3, 3, 2, 2}}); // after the stop: ignored, no second request
    EXPECT_EQ(coordinator.stopRequests, 1);
    TestPackage package = finish();
    ASSERT_EQ(package.entries.size(), 4u);
    EXPECT_EQ(package.header.numberFrameEntries, 4u);
    EXPECT_LT(pictureAfter(package, 2, screen.pixels()).worstTileMean, 6.0);

    // A disk whose free space cannot be read does not stop anything.
    FakeCoordinator other{Rect(100, 50, kSurfaceWidth, kSurfaceHeight)};
    other.path = coordinator.path;
    ImageGrabberServices unreadable;
    unreadable.openUpdateSource =
        [](const DisplayStreamConfiguration&,
           DisplayStreamHandler h) -> Result<std::unique_ptr<ScreenGrabberUpdateSource>> {
        return std::unique_ptr<ScreenGrabberUpdateSource>(std::make_unique<InjectedSource>(std::move(h)));
    };
    unreadable.clockSeconds = [this] { return clock; };
    unreadable.freeDiskSpace = [](const std::string&) { return std::optional<std::uint64_t>(); };
    auto created = VTL3RecordImageGrabber::create(10, RecordMode::FullScreen, *queue, other,
                                                  RecordQuality::High, unreadable);
    ASSERT_TRUE(created);
    auto g = std::move(created).value();
    clock += 60;
    EXPECT_FALSE(g->checkFreeDiskSpace());
    EXPECT_EQ(other.stopRequests, 0);
}

} // namespace
} // namespace vtl
