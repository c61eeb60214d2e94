// The camera recorder on the test-pattern source: a ProRes 422 track of the camera's pictures,
// timed from the recording's start with the pause left out, and nothing written while paused.

#include "platform/capture/Camera.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaFrameReader.h"
#include "platform/media/MovieWriterQueue.h"
#include "recorder/VTLCameraRecorder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;

struct Delegate final : RecorderDelegate {
    bool recorderStartedProducingData(Recorder&) override {
        ++started;
        return true;
    }
    void recorderDone(Recorder&) override { ++done; }
    std::atomic<int> started{0}, done{0};
};

void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

TEST(CameraRecorder, RecordsTheCamerasPicturesAsProResTimedFromTheStartWithoutThePause) {
    const std::string path =
        (fs::temp_directory_path() / ("vistrel-camera-" + std::to_string(::getpid()) + ".mov")).string();
    auto writer = MovieWriterQueue::create(path, "camera test writer");
    ASSERT_TRUE(writer) << writer.error();
    Delegate delegate;
    std::atomic<double> start{0};
    std::vector<std::string> shown;
    VTLCameraRecorder::Options options;
    options.recordStartTime = [&] { return start.load(); };
    options.reportError = [&](const std::string& message) { shown.push_back(message); };
    auto recorder =
        VTLCameraRecorder::create(makeTestPatternCamera(320, 240, 30), *writer, delegate, options);
    ASSERT_TRUE(recorder) << recorder.error();
    for (int i = 0; i < 500 && delegate.started.load() == 0; ++i)
        sleepFor(0.01);
    ASSERT_EQ(delegate.started.load(), 1) << "the first picture announces the camera";
    ASSERT_TRUE((*writer)->start());
    // What the coordinator does: the start, then a pause that moves the start on.
    start = monotonicSeconds();
    (*recorder)->setWriteToMovie();
    sleepFor(1.0);
    const double pauseBegan = monotonicSeconds();
    (*recorder)->setPaused(true);
    sleepFor(1.0);
    start = start + (monotonicSeconds() - pauseBegan);
    (*recorder)->setPaused(false);
    sleepFor(1.0);
    const double recordedSeconds = monotonicSeconds() - start.load();
    (*recorder)->stopRecord();
    (*recorder)->finishPendingFrames();
    std::atomic<bool> finished{false};
    (*writer)->finish([&](Status s) {
        EXPECT_TRUE(s) << s.error();
        finished = true;
    });
    for (int i = 0; i < 3000 && !finished; ++i)
        sleepFor(0.01);
    ASSERT_TRUE(finished);
    (*recorder)->finalizeRecord();
    EXPECT_EQ(delegate.done.load(), 1);
    EXPECT_TRUE(shown.empty());

    auto asset = MediaAsset::open(path);
    ASSERT_TRUE(asset) << asset.error();
    ASSERT_EQ((*asset)->tracks().size(), 1u);
    const MediaTrack& track = (*asset)->tracks()[0];
    EXPECT_EQ(track.codecName, "prores");
    EXPECT_EQ(track.widthPixels, 320);
    EXPECT_EQ(track.heightPixels, 240);
    auto reader = MediaFrameReader::open(*asset, 0);
    ASSERT_TRUE(reader) << reader.error();
    std::vector<double> times;
    bool sawYellowBar = false;
    for (;;) {
        auto frame = (*reader)->nextFrame();
        ASSERT_TRUE(frame) << frame.error();
        if (!*frame) break;
        times.push_back((*frame)->time.seconds());
        const BitmapImage& image = (*frame)->image;
        for (std::size_t x = 0; x < image.width(); x += 8) {
            const std::uint8_t* p =
                image.data() + static_cast<std::size_t>(120) * image.bytesPerRow() + x * 4;
            if (p[2] > 200 && p[1] > 200 && p[0] < 60) sawYellowBar = true;
        }
    }
    EXPECT_TRUE(sawYellowBar) << "the pattern's pictures";
    // About two seconds at 30 pictures a second, without the second of the pause.
    ASSERT_GT(times.size(), 40u);
    EXPECT_LT(times.size(), 70u);
    EXPECT_LT(times.front(), 0.2);
    EXPECT_NEAR(times.back(), recordedSeconds, 0.25);
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_GT(times[i], times[i - 1]);
        EXPECT_LT(times[i] - times[i - 1], 0.25) << "no gap where the pause was, at " << times[i];
    }
    fs::remove(path);
}

} // namespace
} // namespace vtl
