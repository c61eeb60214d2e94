// A real recording of a window area on the test X display, read back with the package reader.

#include "ScreenGrabberTestSupport.h"
#include "capture/CaptureTestSupport.h"
#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/Screens.h"
#include "platform/foundation/MonotonicClock.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTL3RecordImageGrabber.h"
#include "tracks/reader/VistrelRecording.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

using capturetest::XcbTestWindow;
using testing::FakeCoordinator;

// Apart from the windows of the capture tests, which may run at the same time on the same display.
constexpr int kX = 1560, kY = 800, kWidth = 320, kHeight = 240;
constexpr std::uint32_t kBackground = 0x3060a0;

struct Step {
    Rect rect; // window pixels, y down
    std::uint32_t rgb;
};
// One rectangle every half second; the last covers most of the area (a key frame).
const Step kSteps[] = {
    {{10, 10, 60, 40}, 0xff0000},   {{200, 150, 100, 70}, 0x00ff00}, {{0, 100, 320, 30}, 0xffff00},
    {{120, 20, 40, 200}, 0xff00ff}, {{0, 0, 300, 230}, 0x00ffff},
};
constexpr double kStepSeconds = 0.5;
constexpr double kRecordingSeconds = 3.0;

// The picture after the first `steps` steps, B, G, R, X.
std::vector<std::uint8_t> expectedPicture(int steps) {
    std::vector<std::uint8_t> p(std::size_t{kWidth} * kHeight * 4);
    auto fill = [&](const Rect& r, std::uint32_t rgb) {
        for (int y = int(r.minY()); y < int(r.maxY()); ++y)
            for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
                std::uint8_t* q = p.data() + (std::size_t(y) * kWidth + x) * 4;
                q[0] = rgb & 0xff;
                q[1] = (rgb >> 8) & 0xff;
                q[2] = (rgb >> 16) & 0xff;
            }
    };
    fill({0, 0, kWidth, kHeight}, kBackground);
    for (int i = 0; i < steps; ++i)
        fill(kSteps[i].rect, kSteps[i].rgb);
    return p;
}

// The worst mean absolute difference of B, G, R over 16 x 16 tiles.
double worstTileError(const std::uint8_t* a, const std::uint8_t* b) {
    double worst = 0;
    for (int ty = 0; ty < kHeight; ty += 16)
        for (int tx = 0; tx < kWidth; tx += 16) {
            double sum = 0;
            int n = 0;
            for (int y = ty; y < std::min(kHeight, ty + 16); ++y)
                for (int x = tx; x < std::min(kWidth, tx + 16); ++x, ++n)
                    for (int c = 0; c < 3; ++c) {
                        std::size_t i = (std::size_t(y) * kWidth + x) * 4 + c;
                        sum += std::abs(int(a[i]) - int(b[i]));
                    }
            worst = std::max(worst, sum / (3.0 * n));
        }
    return worst;
}

TEST(ScreenGrabberRecording, ThreeSecondsOfAWindowAreaDecodeToWhatWasDrawnAtTheRightTimes) {
    if (!capturetest::haveDisplay()) GTEST_SKIP() << "needs an X display";
    auto screens = listScreens();
    ASSERT_TRUE(screens && !screens->empty());
    const ScreenDescription& screen = screens->front();
    XcbTestWindow window(kX, kY, kWidth, kHeight, kBackground);
    ASSERT_TRUE(window.ok());

    auto folder = std::filesystem::temp_directory_path() / ("vistrel-grab-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    const std::string package = (folder / "take.vistrelRecord").string();
    std::filesystem::create_directories(package);

    // The window's area as the system names it: points relative to the screen, y up.
    FakeCoordinator coordinator(X11CoordinateSpace(screen.x11Frame).fromX11(Rect(kX, kY, kWidth, kHeight)),
                                screen.displayID);
    coordinator.path = package;
    const std::uint32_t fps = 10;
    EncodeQueueSettings settings;
    settings.frameRate = fps;
    settings.areaWidthPixels = kWidth;
    settings.areaHeightPixels = kHeight;
    VTL3RecordEndcodeQueue queue(settings);
    std::string error;
    ASSERT_TRUE(queue.prepareForRecording(package));
    auto created =
        VTL3RecordImageGrabber::create(fps, RecordMode::Area, queue, coordinator, RecordQuality::High);
    ASSERT_TRUE(created) << created.error();
    auto grabber = std::move(created).value();
    coordinator.grabber = grabber.get();

    grabber->startProcessQueue();
    grabber->startRecord();
    const double start = monotonicSeconds();
    grabber->setWriteToMovie();
    std::vector<double> drawnAt; // seconds after the start
    for (const Step& step : kSteps) {
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(
            static_cast<std::int64_t>((start + kStepSeconds * double(drawnAt.size() + 1)) * 1e9))));
        window.fill(int(step.rect.minX()), int(step.rect.minY()), int(step.rect.width()),
                    int(step.rect.height()), step.rgb);
        drawnAt.push_back(monotonicSeconds() - start);
    }
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(static_cast<std::int64_t>((start + kRecordingSeconds) * 1e9))));
    grabber->stopRecord();
    grabber->finalizeRecord();
    EXPECT_EQ(coordinator.done, 1);
    EXPECT_TRUE(coordinator.errors.empty());

    VistrelRecording recording(package);
    ASSERT_TRUE(recording.open()) << recording.openError();
    EXPECT_EQ(recording.width(), std::uint64_t(kWidth));
    EXPECT_EQ(recording.height(), std::uint64_t(kHeight));
    EXPECT_NEAR(recording.duration(), kRecordingSeconds, 0.3);
    auto decoder = recording.makeDecompressionInfo();
    ASSERT_TRUE(decoder) << decoder.error();
    DecompressionInfo& info = **decoder;
    std::vector<std::uint8_t> picture;
    auto pictureAt = [&](double seconds) {
        std::int64_t index = recording.indexOfTime(seconds);
        EXPECT_TRUE(info.decompressFrame(
            std::uint64_t(std::min<std::int64_t>(index, recording.numberOfFrames() - 2))))
            << info.lastError();
        picture = info.frameBytes();
        return picture.data();
    };
    // Frame times count from the first picture, taken as the stream starts: allow for that and
    // for a frame interval of delay after each drawing.
    const double settle = 0.25;
    for (std::size_t k = 0; k <= drawnAt.size(); ++k) {
        double from = k == 0 ? 0.05 : drawnAt[k - 1] + settle;
        double until = k < drawnAt.size() ? drawnAt[k] - 0.1 : kRecordingSeconds - 0.1;
        auto expected = expectedPicture(int(k));
        for (double t : {from, (from + until) / 2, until})
            EXPECT_LT(worstTileError(pictureAt(t), expected.data()), 8.0)
                << "after step " << k << " at " << t << " s";
    }
    // Only what changed was stored between key frames, and every second of frames began with one.
    std::uint64_t keyFrames = 0;
    for (std::uint64_t i = 0; i < recording.numberOfFrames(); ++i)
        keyFrames += recording.directoryEntryAtIndex(i)->isKeyFrame ? 1 : 0;
    EXPECT_GE(keyFrames, 2u);
    EXPECT_LT(keyFrames, recording.numberOfFrames() - 1);
    info.release();
    std::filesystem::remove_all(folder);
}

TEST(ScreenGrabberRecording, FollowedWindowFrameIsRelativeToTheRecordedScreen) {
    if (!capturetest::haveDisplay()) GTEST_SKIP() << "needs an X display";
    auto screens = listScreens();
    ASSERT_TRUE(screens && !screens->empty());
    const ScreenDescription& screen = screens->front();
    XcbTestWindow window(40, 30, 120, 80, kBackground);
    ASSERT_TRUE(window.ok());
    auto folder = std::filesystem::temp_directory_path() / ("vistrel-window-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    FakeCoordinator coordinator(Rect(0, 0, 200, 100), screen.displayID, screen.frame);
    coordinator.path = folder.string();
    EncodeQueueSettings settings;
    settings.areaWidthPixels = 200;
    settings.areaHeightPixels = 100;
    VTL3RecordEndcodeQueue queue(settings);
    std::string error;
    auto created =
        VTL3RecordImageGrabber::create(30, RecordMode::Window, queue, coordinator, RecordQuality::High);
    ASSERT_TRUE(created) << created.error();
    auto grabber = std::move(created).value();

    bool valid = true;
    Point origin{1, 1};
    EXPECT_EQ(grabber->rectForWindowValid(valid, origin), Rect());
    EXPECT_FALSE(valid) << "no window number set";
    grabber->setWindowNumber(int(window.id()));
    Rect frame = grabber->rectForWindowValid(valid, origin);
    EXPECT_TRUE(valid);
    EXPECT_EQ(frame, (Rect{40, screen.x11Frame.height() - 110, 120, 80}));
    EXPECT_EQ(origin, frame.origin);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vtl
