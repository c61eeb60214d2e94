#pragma once
// Records the screen and sound of a connected iOS device into "iOSDevice.mov": picture samples
// as the device encoded them, sound as AAC. The recording starts at the first sync sample (time 0);
// a resume waits for the next sync sample and leaves no gap; silence is added where the picture
// runs ahead of the sound by more than 20 sound buffers; samples wait in two lists for the movie's
// own thread, and live previews are switched off when more than 21 wait. Owned by the recording
// coordinator; the device's threads deliver.

#include "platform/capture/MobileDevice.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "recorder/RecorderDelegate.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace vtl {

class MovieWriterQueue;

// The coordinator's side of the iOS-device recorder. Every call may come from a device thread.
class IOSRecorderCoordinator : public RecorderDelegate {
public:
    // Completes a resume that waited for the device; false when none was waiting.
    virtual bool unpause() = 0;
    virtual void iOSRecordingResolutionChangeToSize(Size sizePixels) = 0;
    virtual void forwardIOSSurfaceID(std::uint32_t surfaceID) = 0;
    virtual void disableIOSAudioPreviewFromRecorder() = 0;
    virtual void disableIOSVideoPreviewFromRecorder() = 0;
};

// Where the samples go: the two tracks of "iOSDevice.mov".
class IOSDeviceMovieInputs {
public:
    virtual ~IOSDeviceMovieInputs() = default;
    // Before the movie starts: the picture track from the first sync sample (size, configuration).
    virtual Status prepareVideo(const MobileDeviceSample& firstSyncSample) = 0;
    virtual bool isReadyForMoreMediaData(MobileSampleKind kind) const = 0;
    // Hands the sample over with its time in the movie.
    virtual Status append(const MobileDeviceSample& sample, double timeSeconds) = 0;
    virtual void markFinished() = 0;
};

// The live picture for the main application: decodes samples into shared pictures whose ids go
// out through forwardIOSSurfaceID.
class IOSLivePicture {
public:
    virtual ~IOSLivePicture() = default;
    virtual Status setup(const MobileDeviceSample& syncSample) = 0;
    virtual void decode(const MobileDeviceSample& sample) = 0;
    virtual void finish() = 0;
};

// The inputs on the movie writer's own thread: H.264 copied as delivered, sound as AAC.
std::unique_ptr<IOSDeviceMovieInputs> makeIOSDeviceMovieInputs(std::shared_ptr<MovieWriterQueue> writer);

class VTLiOSDeviceRecorder final : public Recorder {
public:
    static constexpr std::size_t previewQueueLimit = 21;
    static constexpr int missingAudioBuffers = 20;
    static constexpr int appendsPerSample = 3;

    // The device delivers from now on. `livePicture` may be null (no live picture here).
    static Result<std::unique_ptr<VTLiOSDeviceRecorder>> create(std::unique_ptr<MobileDevice> device,
                                                                std::unique_ptr<IOSDeviceMovieInputs> inputs,
                                                                std::unique_ptr<IOSLivePicture> livePicture,
                                                                IOSRecorderCoordinator& coordinator,
                                                                bool previewVideo, bool previewAudio);
    ~VTLiOSDeviceRecorder() override;

    const MobileDevice& device() const { return *device_; }
    void setForwardVideo(bool on);
    void setForwardAudio(bool on);
    bool forwardVideo() const { return forwardVideo_.load(); }
    bool forwardAudio() const { return forwardAudio_.load(); }

    void setWriteToMovie() override { writeToMovie_.store(true); }
    void setPaused(bool paused) override;
    void stopRecord() override;
    void finishPendingFrames() override;
    void finalizeRecord() override;

    // A device thread: one sample.
    void captureOutput(const MobileDeviceSample& sample);

    std::size_t queuedVideo() const;
    std::size_t queuedAudio() const;

private:
    struct Entry {
        MobileDeviceSample sample;
        double timeSeconds = 0;
    };

    VTLiOSDeviceRecorder(std::unique_ptr<MobileDevice> device, std::unique_ptr<IOSDeviceMovieInputs> inputs,
                         std::unique_ptr<IOSLivePicture> livePicture, IOSRecorderCoordinator& coordinator);
    void appendSilenceSamples(int count);
    // Appends up to `limit` entries from the front while the input takes them.
    void pump(std::deque<Entry>& list, MobileSampleKind kind, int limit);
    void previewNextSampleBuffer(const MobileDeviceSample& sample);

    std::unique_ptr<MobileDevice> device_;
    std::unique_ptr<IOSDeviceMovieInputs> inputs_;
    std::unique_ptr<IOSLivePicture> livePicture_;
    IOSRecorderCoordinator& coordinator_;

    std::atomic<bool> forwardVideo_{false};
    std::atomic<bool> forwardAudio_{false};
    std::atomic<bool> writeToMovie_{false};
    std::atomic<bool> pauseWanted_{false};
    std::atomic<bool> stopped_{false};

    // The device's threads deliver one after another per kind; one lock orders both kinds.
    mutable std::mutex mutex_;
    std::deque<Entry> videoSamplesQueue_;
    std::deque<Entry> audioSamplesQueue_;
    bool paused_ = false;
    bool rememberTimeStampForPauseStart_ = false;
    double pauseStartTime_ = 0;
    bool hasNotifiedAboutData_ = false;
    bool writing_ = false;
    double decrementTimeStamp_ = 0;
    double lastAudioSampleTime_ = 0;
    std::optional<MobileDeviceSample> typicalAudioBuffer_;
    double missingAudioThreshold_ = 0.01;
    bool encounteredFirstKeyFrame_ = false;
    int decompressionWidth_ = 0;
    int decompressionHeight_ = 0;
};

} // namespace vtl
