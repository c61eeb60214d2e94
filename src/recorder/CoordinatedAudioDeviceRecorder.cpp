#include "recorder/CoordinatedAudioDeviceRecorder.h"

namespace vtl {

CoordinatedAudioDeviceRecorder::CoordinatedAudioDeviceRecorder(
    std::unique_ptr<VTLAudioDeviceRecorder> recorder, RecorderDelegate& coordinator,
    std::function<void(const std::string&)> reportError)
    : recorder_(std::move(recorder))
    , coordinator_(coordinator)
    , reportError_(std::move(reportError)) {
    recorder_->setCoordinator(this);
}

void CoordinatedAudioDeviceRecorder::startProcessQueue() {
    // A device that cannot be opened never delivers: the coordinator leaves it out in time and says so.
    (void)recorder_->startProcessQueue();
}

bool CoordinatedAudioDeviceRecorder::recorderStartedProducingData(VTLAudioDeviceRecorder&) {
    return coordinator_.recorderStartedProducingData(*this);
}

void CoordinatedAudioDeviceRecorder::recorderDone(VTLAudioDeviceRecorder&) {
    coordinator_.recorderDone(*this);
}

void CoordinatedAudioDeviceRecorder::recorderFailed(VTLAudioDeviceRecorder&, const std::string& message) {
    if (reportError_) reportError_(message);
}

} // namespace vtl
