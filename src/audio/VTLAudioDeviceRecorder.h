#pragma once
// Records one audio input into a sound track of a movie supplied by its owner (the recording's
// "additionalAudioAndVideo.mov", a voice-over movie, or "system.m4a" for the system's sound) and
// measures peak and hold levels of every captured buffer for a level meter. The capture callback
// only measures and copies into a lock-free ring; the writer's own thread drains the ring, tells
// the owner of the first data, and encodes. Owned by its coordinator; the writer is shared.

#include "audio/AudioLevelMeter.h"
#include "audio/CompositionAudioRecordDevice.h"
#include "audio/RecordedAudioTrack.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class AudioHardware;
class AudioInputStream;
class DispatchTimer;
class MovieWriterQueue;
class VTLAudioDeviceRecorder;

// The owner's side (the recording coordinator, the voice-over sheet). Called on the writer's thread.
class VTLAudioDeviceRecorderDelegate {
public:
    virtual ~VTLAudioDeviceRecorderDelegate() = default;
    // The input has delivered its first sound and its track exists. Answers whether writing may start.
    virtual bool recorderStartedProducingData(VTLAudioDeviceRecorder& recorder) = 0;
    // End of finalizeRecord.
    virtual void recorderDone(VTLAudioDeviceRecorder& recorder) = 0;
    // The track ended early: the writer failed. The sentence says why.
    virtual void recorderFailed(VTLAudioDeviceRecorder& recorder, const std::string& message) = 0;
};

class PeakDelegate {
public:
    virtual ~PeakDelegate() = default;
    // Linear amplitudes, 1.0 = full scale; on the writer's thread, at most once a drain.
    virtual void deviceRecorder(VTLAudioDeviceRecorder& recorder, float peak, float hold) = 0;
};

struct VTLAudioDeviceRecorderOptions {
    // Record the system's sound (what the machine plays) in stereo instead of the device's input.
    bool systemAudio = false;
    // How often the writer's thread drains captured sound.
    double drainIntervalSeconds = 0.02;
    // The recording's clock; empty: the monotonic clock.
    std::function<double()> clockSeconds;
    std::string trackTitle;
};

class VTLAudioDeviceRecorder {
public:
    static constexpr std::uint32_t desiredSampleRate = 44100;

    // Without a writer the input is only metered.
    VTLAudioDeviceRecorder(CompositionAudioRecordDevice device, std::shared_ptr<MovieWriterQueue> writer,
                           std::shared_ptr<AudioHardware> hardware = nullptr,
                           VTLAudioDeviceRecorderOptions options = {});
    ~VTLAudioDeviceRecorder();
    VTLAudioDeviceRecorder(const VTLAudioDeviceRecorder&) = delete;
    VTLAudioDeviceRecorder& operator=(const VTLAudioDeviceRecorder&) = delete;

    void setCoordinator(VTLAudioDeviceRecorderDelegate* coordinator) { coordinator_ = coordinator; }
    VTLAudioDeviceRecorderDelegate* coordinator() const { return coordinator_; }
    void setPeakDelegate(PeakDelegate* delegate) { peakDelegate_ = delegate; }
    PeakDelegate* peakDelegate() const { return peakDelegate_; }
    const CompositionAudioRecordDevice& device() const { return device_; }

    // Opens the input at 44,100 Hz (or the rate the device offers) and starts capturing.
    Status startProcessQueue();
    void startRecord() {}
    // From now on captured sound goes into the track; its time 0 is `atSeconds` on the recorder's
    // clock (a moment already passed: the recording's start), or now.
    void setWriteToMovie(std::optional<double> atSeconds = std::nullopt);
    bool writeToMovie() const { return track_ && track_->isWriting(); }
    void setPaused(bool paused, std::optional<double> atSeconds = std::nullopt);
    // Ends capture; the track's end is `atSeconds`, or now.
    void stopRecord(std::optional<double> atSeconds = std::nullopt);
    // Hands the rest of the captured sound to the writer and completes the track (on the writer's
    // thread, ahead of anything queued there later).
    void finishPendingFrames();
    void finalizeRecord();

    // Rate and channels of the track (known after startProcessQueue).
    std::uint32_t samplingRate() const { return samplingRate_; }
    std::uint32_t trackChannelCount() const { return channelCount_; }
    bool hasTrack() const { return trackIndex_.has_value(); }
    std::optional<RecordedAudioTrack::Statistics> statistics() const;

private:
    void captured(const float* interleaved, std::size_t frames, std::uint32_t channelCount);
    // Writer's thread.
    void drain(bool complete);
    void endTrack(const std::string& message);

    CompositionAudioRecordDevice device_;
    std::shared_ptr<MovieWriterQueue> writer_;
    std::shared_ptr<AudioHardware> hardware_;
    VTLAudioDeviceRecorderOptions options_;
    VTLAudioDeviceRecorderDelegate* coordinator_ = nullptr;
    PeakDelegate* peakDelegate_ = nullptr;

    std::uint32_t samplingRate_ = 0;
    std::uint32_t deviceChannelCount_ = 0; // of the opened stream
    std::uint32_t firstChannelIndex_ = 0;  // first recorded channel of the stream, from 0
    std::uint32_t channelCount_ = 0;       // recorded channels
    std::unique_ptr<RecordedAudioTrack> track_;
    std::unique_ptr<AudioInputStream> stream_;
    std::shared_ptr<DispatchTimer> drainTimer_;

    // Capture thread.
    AudioLevelMeter meter_;
    std::vector<float> selection_;
    std::atomic<bool> hasData_{false};
    std::atomic<float> peak_{0};
    std::atomic<float> hold_{0};
    std::atomic<std::uint64_t> levelCount_{0};

    // Writer's thread.
    std::uint64_t levelsDelivered_ = 0;
    bool hasNotifiedAboutData_ = false;
    std::optional<std::size_t> trackIndex_;
    std::atomic<bool> trackEnded_{false};
    std::atomic<bool> stopped_{false};
};

} // namespace vtl
