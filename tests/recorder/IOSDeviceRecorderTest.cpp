// The iOS-device recorder's timing on the synthetic device: the start at the first sync picture,
// resumes without a gap, silence where the picture runs ahead of the sound, size changes of the
// live picture, and previews switched off when samples pile up.

#include "platform/capture/MobileDevice.h"
#include "recorder/VTLiOSDeviceRecorder.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vtl {
namespace {

struct Written {
    MobileSampleKind kind;
    double time;
    bool silent;
};

struct FakeInputs final : IOSDeviceMovieInputs {
    Status prepareVideo(const MobileDeviceSample&) override {
        ++prepared;
        return {};
    }
    bool isReadyForMoreMediaData(MobileSampleKind) const override { return ready; }
    Status append(const MobileDeviceSample& sample, double time) override {
        bool silent =
            sample.kind == MobileSampleKind::Audio && sample.data && !sample.data->empty() &&
            std::all_of(sample.data->begin(), sample.data->end(), [](std::uint8_t b) { return b == 0; });
        written.push_back({sample.kind, time, silent});
        return {};
    }
    void markFinished() override { finished = true; }
    int prepared = 0;
    bool ready = true;
    bool finished = false;
    std::vector<Written> written;
};

struct FakeLivePicture final : IOSLivePicture {
    explicit FakeLivePicture(int* setupsOut)
        : setups(setupsOut) {}
    Status setup(const MobileDeviceSample&) override {
        ++*setups;
        return {};
    }
    void decode(const MobileDeviceSample&) override {}
    void finish() override {}
    int* setups;
};

struct FakeCoordinator final : IOSRecorderCoordinator {
    bool recorderStartedProducingData(Recorder&) override { return startAnswer; }
    void recorderDone(Recorder&) override { ++done; }
    bool unpause() override {
        if (!resumeWanted) return false;
        resumeWanted = false;
        return true;
    }
    void iOSRecordingResolutionChangeToSize(Size size) override { sizes.push_back(size); }
    void forwardIOSSurfaceID(std::uint32_t id) override { surfaceIDs.push_back(id); }
    void disableIOSAudioPreviewFromRecorder() override { ++audioPreviewsDisabled; }
    void disableIOSVideoPreviewFromRecorder() override { ++videoPreviewsDisabled; }
    bool startAnswer = true;
    bool resumeWanted = false;
    int done = 0;
    int audioPreviewsDisabled = 0;
    int videoPreviewsDisabled = 0;
    std::vector<Size> sizes;
    std::vector<std::uint32_t> surfaceIDs;
};

class IOSDeviceRecorderTest : public ::testing::Test {
protected:
    void make(bool previewVideo = false) {
        auto made =
            std::make_unique<SyntheticMobileDevice>(MobileDeviceDescription{"device-1", "Test Phone"});
        device = made.get();
        auto fakeInputs = std::make_unique<FakeInputs>();
        inputs = fakeInputs.get();
        auto recorderOrError = VTLiOSDeviceRecorder::create(std::move(made), std::move(fakeInputs),
                                                            std::make_unique<FakeLivePicture>(&setups),
                                                            coordinator, previewVideo, false);
        ASSERT_TRUE(recorderOrError) << recorderOrError.error();
        recorder = std::move(recorderOrError).value();
    }
    void picture(double time, bool sync, int width = 640, int height = 1136) {
        MobileDeviceSample s;
        s.kind = MobileSampleKind::Video;
        s.dependsOnOthers = !sync;
        s.presentationTimeSeconds = time;
        s.durationSeconds = 1.0 / 30;
        s.data = std::make_shared<const std::vector<std::uint8_t>>(64, 1);
        s.widthPixels = width;
        s.heightPixels = height;
        device->deliver(s);
    }
    void sound(double time) {
        MobileDeviceSample s;
        s.kind = MobileSampleKind::Audio;
        s.presentationTimeSeconds = time;
        s.durationSeconds = 1024.0 / 44100;
        s.sampleRate = 44100;
        s.channelCount = 2;
        s.frameCount = 1024;
        s.data = std::make_shared<const std::vector<std::uint8_t>>(1024 * 8, 7);
        device->deliver(s);
    }
    std::vector<double> times(MobileSampleKind kind, bool silent = false) const {
        std::vector<double> out;
        for (const Written& w : inputs->written)
            if (w.kind == kind && w.silent == silent) out.push_back(w.time);
        return out;
    }

    FakeCoordinator coordinator;
    SyntheticMobileDevice* device = nullptr;
    FakeInputs* inputs = nullptr;
    int setups = 0;
    std::unique_ptr<VTLiOSDeviceRecorder> recorder;
};

TEST_F(IOSDeviceRecorderTest, TheMovieStartsAtTheFirstSyncPictureTheCoordinatorAcceptsAtTimeZero) {
    make();
    picture(10.0, false); // depends on pictures before the start: dropped
    sound(10.01);
    coordinator.startAnswer = false;
    picture(10.1, true); // the coordinator is not ready yet
    coordinator.startAnswer = true;
    picture(10.2, false);
    picture(10.3, true);
    picture(10.4, false);
    sound(10.35);
    const std::vector<double> pictures = times(MobileSampleKind::Video);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_DOUBLE_EQ(pictures[0], 0.0);
    EXPECT_NEAR(pictures[1], 0.1, 1e-9);
    ASSERT_EQ(times(MobileSampleKind::Audio).size(), 1u);
    EXPECT_NEAR(times(MobileSampleKind::Audio)[0], 0.05, 1e-9);
    EXPECT_EQ(coordinator.surfaceIDs, std::vector<std::uint32_t>({0}));
    EXPECT_EQ(inputs->prepared, 2) << "each try shapes the picture track";
}

TEST_F(IOSDeviceRecorderTest, AResumeWaitsForASyncPictureAndLeavesNoGap) {
    make();
    picture(5.0, true);
    picture(5.5, false);
    recorder->setPaused(true);
    picture(6.0, false); // where the pause began
    picture(7.0, true);  // the user has not resumed yet
    coordinator.resumeWanted = true;
    picture(8.0, false); // no sync picture: still paused
    picture(9.0, true);  // resumes here
    picture(9.5, false);
    EXPECT_EQ(times(MobileSampleKind::Video), std::vector<double>({0.0, 0.5, 1.0, 1.5}));
}

TEST_F(IOSDeviceRecorderTest, SilenceKeepsTheSoundUpWithAPictureTwentyBuffersAhead) {
    make();
    picture(1.0, true);
    sound(1.0);
    const double buffer = 1024.0 / 44100;
    // The picture runs on without sound; at more than 20 buffers ahead, 20 buffers of silence.
    for (double t = 1.0; t < 1.0 + 21 * buffer + 0.05; t += 1.0 / 30)
        picture(t + 1.0 / 30, false);
    const std::vector<double> silence = times(MobileSampleKind::Audio, true);
    ASSERT_EQ(silence.size(), 20u);
    for (std::size_t i = 0; i < silence.size(); ++i)
        EXPECT_NEAR(silence[i], (static_cast<double>(i) + 1) * buffer, 1e-9);
    EXPECT_EQ(times(MobileSampleKind::Audio), std::vector<double>({0.0}));
}

TEST_F(IOSDeviceRecorderTest, ASizeChangeRestartsTheLivePictureAndIsNoted) {
    make(true);
    picture(1.0, true);
    picture(1.1, false);
    EXPECT_EQ(setups, 1);
    picture(1.2, true, 1136, 640);
    EXPECT_EQ(setups, 2);
    ASSERT_EQ(coordinator.sizes.size(), 1u);
    EXPECT_EQ(coordinator.sizes[0], (Size{1136, 640}));
    EXPECT_EQ(times(MobileSampleKind::Video).size(), 3u) << "the recording itself goes on";
}

TEST_F(IOSDeviceRecorderTest, MoreThan21WaitingSamplesSwitchThePreviewOffAndFinishingWritesThemAll) {
    make(true);
    picture(0.0, true);
    inputs->ready = false;
    for (int i = 1; i <= 21; ++i)
        picture(i / 30.0, false);
    EXPECT_TRUE(recorder->forwardVideo());
    picture(22 / 30.0, false);
    picture(23 / 30.0, false);
    EXPECT_FALSE(recorder->forwardVideo());
    EXPECT_EQ(coordinator.videoPreviewsDisabled, 1);
    recorder->stopRecord();
    recorder->finishPendingFrames();
    EXPECT_TRUE(inputs->finished);
    EXPECT_EQ(times(MobileSampleKind::Video).size(), 24u) << "nothing waiting is lost";
    recorder->finalizeRecord();
    EXPECT_EQ(coordinator.done, 1);
}

} // namespace
} // namespace vtl
