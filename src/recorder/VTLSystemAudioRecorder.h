#pragma once
// Records what the machine plays into the package's "system.m4a" (AAC, 44,100 Hz, stereo, from
// time 0, pauses left out). Capture opens at the audio routing, during the countdown, from the
// server's monitor of the default output: nothing is rerouted and no device setting is changed.
// Owns its movie writer, whose own thread encodes. Owned by the recording coordinator.

#include "audio/VTLAudioDeviceRecorder.h"
#include "platform/foundation/Result.h"
#include "recorder/RecorderDelegate.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

class AudioHardware;
class MovieWriterQueue;

inline constexpr const char* kSystemAudioFileName = "system.m4a";

class VTLSystemAudioRecorder final : public Recorder, private VTLAudioDeviceRecorderDelegate {
public:
    struct Options {
        std::shared_ptr<AudioHardware> hardware; // empty: the shared one
        std::function<double()> clockSeconds;    // empty: the monotonic clock
        // Shows a sentence to the user (any thread).
        std::function<void(const std::string&)> reportError;
    };

    VTLSystemAudioRecorder(RecorderDelegate& coordinator, Options options);
    ~VTLSystemAudioRecorder() override;

    // Creates the writer of package/"system.m4a".
    Status prepareRecordingAtPath(const std::string& packagePath);
    // Opens the capture (once; the coordinator asks at the countdown and again at the start).
    void startAudioRouting();

    void startProcessQueue() override {}
    void startRecord() override { startAudioRouting(); }
    void setWriteToMovie() override;
    void setPaused(bool paused) override;
    void stopRecord() override;
    void setWriteToMovieAt(double startSeconds) override;
    void setPausedAt(bool paused, double atSeconds) override;
    void stopRecordAt(double atSeconds) override;
    void finishPendingFrames() override;
    // Completes the file; reports done once it is closed.
    void finalizeRecord() override;

    // The file's size so far.
    std::uint64_t bytesInFile() const;
    const VTLAudioDeviceRecorder* deviceRecorder() const { return recorder_.get(); }

private:
    bool recorderStartedProducingData(VTLAudioDeviceRecorder&) override;
    void recorderDone(VTLAudioDeviceRecorder&) override {}
    void recorderFailed(VTLAudioDeviceRecorder&, const std::string& message) override;

    RecorderDelegate& coordinator_;
    Options options_;
    std::shared_ptr<MovieWriterQueue> writer_;
    std::unique_ptr<VTLAudioDeviceRecorder> recorder_;
    bool audioRoutingStarted_ = false;
    std::atomic<bool> finalized_{false};
};

} // namespace vtl
