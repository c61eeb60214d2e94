#pragma once
// An audio-device recorder of the audio engine as one of the recording's recorders: it records
// one input into its track of the recording's additional movie and answers the coordinator's
// start, pause and stop protocol. A track that ends early is reported to the user. Owned by the
// recording coordinator.

#include "audio/VTLAudioDeviceRecorder.h"
#include "recorder/RecorderDelegate.h"

#include <functional>
#include <memory>
#include <string>

namespace vtl {

class CoordinatedAudioDeviceRecorder final : public Recorder, private VTLAudioDeviceRecorderDelegate {
public:
    // `reportError` shows a sentence to the user (on any thread).
    CoordinatedAudioDeviceRecorder(std::unique_ptr<VTLAudioDeviceRecorder> recorder,
                                   RecorderDelegate& coordinator,
                                   std::function<void(const std::string&)> reportError);

    VTLAudioDeviceRecorder& recorder() { return *recorder_; }

    void startProcessQueue() override;
    void setWriteToMovie() override { recorder_->setWriteToMovie(); }
    void setPaused(bool paused) override { recorder_->setPaused(paused); }
    void stopRecord() override { recorder_->stopRecord(); }
    void finishPendingFrames() override { recorder_->finishPendingFrames(); }
    void setWriteToMovieAt(double startSeconds) override { recorder_->setWriteToMovie(startSeconds); }
    void setPausedAt(bool paused, double atSeconds) override { recorder_->setPaused(paused, atSeconds); }
    void stopRecordAt(double atSeconds) override { recorder_->stopRecord(atSeconds); }
    void finalizeRecord() override { recorder_->finalizeRecord(); }

private:
    bool recorderStartedProducingData(VTLAudioDeviceRecorder&) override;
    void recorderDone(VTLAudioDeviceRecorder&) override;
    void recorderFailed(VTLAudioDeviceRecorder&, const std::string& message) override;

    std::unique_ptr<VTLAudioDeviceRecorder> recorder_;
    RecorderDelegate& coordinator_;
    std::function<void(const std::string&)> reportError_;
};

} // namespace vtl
