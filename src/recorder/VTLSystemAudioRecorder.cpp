#include "recorder/VTLSystemAudioRecorder.h"

#include "platform/audio/AudioHardware.h"
#include "platform/foundation/Log.h"
#include "platform/media/MovieWriterQueue.h"

#include <filesystem>

namespace vtl {

VTLSystemAudioRecorder::VTLSystemAudioRecorder(RecorderDelegate& coordinator, Options options)
    : coordinator_(coordinator)
    , options_(std::move(options)) {}

VTLSystemAudioRecorder::~VTLSystemAudioRecorder() {
    // The device recorder's tasks run on the writer's thread: it goes first.
    recorder_.reset();
    if (writer_ && !finalized_.load()) writer_->cancel();
}

Status VTLSystemAudioRecorder::prepareRecordingAtPath(const std::string& packagePath) {
    const std::string path = (std::filesystem::path(packagePath) / kSystemAudioFileName).string();
    MovieWriterOptions writerOptions;
    writerOptions.container = MovieContainer::Mpeg4Audio;
    // Sound needs no more than one encoder thread.
    writerOptions.threadCount = 1;
    auto writer = MovieWriterQueue::create(path, "com.morlunesoftware.vistrel3audiorecordqueue",
                                           std::move(writerOptions));
    if (!writer) {
        logMessage("error " + writer.error());
        return writer.asFailure();
    }
    writer_ = std::move(writer).value();
    CompositionAudioRecordDevice device(0, AudioHardware::systemAudioDeviceName, "", 0, 1);
    VTLAudioDeviceRecorderOptions recorderOptions;
    recorderOptions.systemAudio = true;
    recorderOptions.clockSeconds = options_.clockSeconds;
    recorder_ = std::make_unique<VTLAudioDeviceRecorder>(std::move(device), writer_, options_.hardware,
                                                         std::move(recorderOptions));
    recorder_->setCoordinator(this);
    return {};
}

void VTLSystemAudioRecorder::startAudioRouting() {
    if (audioRoutingStarted_ || !recorder_) return;
    audioRoutingStarted_ = true;
    if (Status opened = recorder_->startProcessQueue(); !opened)
        logMessage("The system's sound cannot be recorded: " + opened.error());
}

bool VTLSystemAudioRecorder::recorderStartedProducingData(VTLAudioDeviceRecorder&) {
    // The file holds this one track: it starts as soon as the track exists (on the writer's thread).
    if (!writer_->isStarted())
        if (Status started = writer_->start(); !started) {
            recorderFailed(*recorder_, "The system's sound cannot be recorded: " + started.error());
            return false;
        }
    return coordinator_.recorderStartedProducingData(*this);
}

void VTLSystemAudioRecorder::recorderFailed(VTLAudioDeviceRecorder&, const std::string& message) {
    if (options_.reportError) options_.reportError(message);
}

void VTLSystemAudioRecorder::setWriteToMovie() {
    if (recorder_) recorder_->setWriteToMovie();
}

void VTLSystemAudioRecorder::setPaused(bool paused) {
    if (recorder_) recorder_->setPaused(paused);
}

void VTLSystemAudioRecorder::stopRecord() {
    if (recorder_) recorder_->stopRecord();
}

void VTLSystemAudioRecorder::setWriteToMovieAt(double startSeconds) {
    if (recorder_) recorder_->setWriteToMovie(startSeconds);
}

void VTLSystemAudioRecorder::setPausedAt(bool paused, double atSeconds) {
    if (recorder_) recorder_->setPaused(paused, atSeconds);
}

void VTLSystemAudioRecorder::stopRecordAt(double atSeconds) {
    if (recorder_) recorder_->stopRecord(atSeconds);
}

void VTLSystemAudioRecorder::finishPendingFrames() {
    if (recorder_) recorder_->finishPendingFrames();
}

void VTLSystemAudioRecorder::finalizeRecord() {
    if (!writer_ || finalized_.exchange(true)) {
        coordinator_.recorderDone(*this);
        return;
    }
    // After the device recorder's last drain, which finishPendingFrames queued on the same thread.
    writer_->finish([this](Status finished) {
        if (!finished) logMessage("error " + finished.error());
        coordinator_.recorderDone(*this);
    });
}

std::uint64_t VTLSystemAudioRecorder::bytesInFile() const {
    return writer_ ? writer_->bytesWritten() : 0;
}

} // namespace vtl
