// The coordinator's sound and camera recorders: the system's sound, audio devices and the camera,
// the shared writer of "additionalAudioAndVideo.mov", and recorders that never deliver.

#include "recorder/RecordingCoordinator.h"

#include "platform/audio/AudioHardware.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/media/MovieWriterQueue.h"
#include "platform/capture/Camera.h"
#include "recorder/CoordinatedAudioDeviceRecorder.h"
#include "recorder/VTLCameraRecorder.h"
#include "recorder/VTLSystemAudioRecorder.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <filesystem>

namespace vtl {

namespace {

constexpr const char* kAdditionalMovieFileName = "additionalAudioAndVideo.mov";

} // namespace

void RecordingCoordinator::eraseRecorder(std::vector<Recorder*>& recorders, Recorder* recorder) {
    recorders.erase(std::remove(recorders.begin(), recorders.end(), recorder), recorders.end());
}

void RecordingCoordinator::prepareAudioAndVideo(const RecordingSettings& settings) {
    std::shared_ptr<AudioHardware> hardware = services_.audioHardware;
    auto reportError = [this, alive = std::weak_ptr<int>(lifetime_)](const std::string& message) {
        onMainThread([this, alive, message] {
            if (alive.lock()) presentRecordError(message);
        });
    };
    auto findDevice = [&](const AudioDeviceToRecord& wanted) -> std::optional<CompositionAudioRecordDevice> {
        if (services_.findAudioDevice) return services_.findAudioDevice(wanted.persistentUID, wanted.audioStreamID);
        if (!hardware) hardware = AudioHardware::shared();
        return CompositionAudioRecordDevice::deviceWithPersistentDeviceUID(wanted.persistentUID, wanted.audioStreamID,
                                                                           *hardware);
    };

    bool systemAudio = false;
    std::vector<CompositionAudioRecordDevice> kept;
    for (const AudioDeviceToRecord& wanted : settings.audioDevicesToRecord) {
        std::optional<CompositionAudioRecordDevice> device = findDevice(wanted);
        if (!device) {
            logMessage("Device not found: DeviceID -> " + wanted.persistentUID + ", StreamID -> " +
                       std::to_string(wanted.audioStreamID));
            continue;
        }
        if (device->name() == AudioHardware::systemAudioDeviceName) {
            systemAudio = true;
            continue;
        }
        if (device->deviceNumberOfChannels() < 1) continue;
        // The same input chosen twice is recorded once.
        if (std::find(kept.begin(), kept.end(), *device) == kept.end()) kept.push_back(*device);
    }

    if (systemAudio) {
        VTLSystemAudioRecorder::Options options;
        options.hardware = hardware;
        options.clockSeconds = services_.clockSeconds;
        options.reportError = reportError;
        auto recorder = std::make_unique<VTLSystemAudioRecorder>(*this, std::move(options));
        if (Status prepared = recorder->prepareRecordingAtPath(recordPath_); prepared) {
            systemAudioRecorder_ = recorder.get();
            otherRecorders_.push_back(std::move(recorder));
        } else {
            logMessage("The system's sound cannot be recorded: " + prepared.error());
        }
    }

    if (!settings.recordISight && kept.empty()) return;
    const std::string moviePath = (std::filesystem::path(recordPath_) / kAdditionalMovieFileName).string();
    MovieWriterOptions writerOptions;
    writerOptions.container = MovieContainer::QuickTime;
    auto writer = MovieWriterQueue::create(moviePath, "com.morlunesoftware.vistrel3.vistrelrecorder.additionalmovie",
                                           std::move(writerOptions));
    if (!writer) {
        logMessage("The camera and audio devices cannot be recorded: " + writer.error());
        return;
    }
    additionalAudioVideoWriter_ = std::move(writer).value();
    if (!hardware && !kept.empty()) hardware = AudioHardware::shared();
    for (const CompositionAudioRecordDevice& device : kept) {
        VTLAudioDeviceRecorderOptions options;
        options.clockSeconds = services_.clockSeconds;
        options.trackTitle = device.name();
        auto recorder = std::make_unique<VTLAudioDeviceRecorder>(device, additionalAudioVideoWriter_, hardware,
                                                                 std::move(options));
        otherRecorders_.push_back(
            std::make_unique<CoordinatedAudioDeviceRecorder>(std::move(recorder), *this, reportError));
    }
    if (settings.recordISight) prepareCamera(settings, reportError);
}

void RecordingCoordinator::prepareCamera(const RecordingSettings& settings,
                                         const std::function<void(const std::string&)>& reportError) {
    auto open = services_.openCamera ? services_.openCamera : [](const std::string& uniqueID) {
        // Machines without a camera try the recorder with the test pattern.
        const char* stand_in = std::getenv("VISTREL_CAMERA");
        if (stand_in && std::string_view(stand_in) == "test-pattern")
            return Result<std::unique_ptr<Camera>>(makeTestPatternCamera(640, 480, 30));
        return openCamera(uniqueID);
    };
    Result<std::unique_ptr<Camera>> camera = open(settings.cameraDeviceUniqueID);
    if (!camera) {
        const std::string message = "The camera cannot be recorded: " + camera.error();
        logMessage(message);
        reportError(message);
        return;
    }
    VTLCameraRecorder::Options options;
    options.clockSeconds = services_.clockSeconds;
    options.recordStartTime = [this] { return recordStartTime(); };
    options.reportError = reportError;
    auto recorder = VTLCameraRecorder::create(std::move(camera).value(), additionalAudioVideoWriter_, *this, options);
    if (!recorder) {
        logMessage(recorder.error());
        reportError(recorder.error());
        return;
    }
    cameraRecorder_ = recorder->get();
    otherRecorders_.push_back(std::move(recorder).value());
}

void RecordingCoordinator::startSystemAudioRouting() {
    if (systemAudioRecorder_) systemAudioRecorder_->startAudioRouting();
}

std::uint64_t RecordingCoordinator::sizeOfSystemAudio() const {
    return systemAudioRecorder_ ? systemAudioRecorder_->bytesInFile() : 0;
}

std::uint64_t RecordingCoordinator::sizeOfAdditionalAudioAndVideo() const {
    return additionalAudioVideoWriter_ ? additionalAudioVideoWriter_->bytesWritten() : 0;
}

void RecordingCoordinator::startMovieWritersLocked() {
    if (!additionalAudioVideoWriter_ || additionalAudioVideoWriter_->isStarted()) return;
    // Every recorder of the movie was left out: there is nothing to write.
    if (additionalAudioVideoWriter_->trackCount() == 0) return;
    if (Status started = additionalAudioVideoWriter_->start(); !started) {
        const std::string message = "The camera and audio devices cannot be recorded: " + started.error();
        logMessage(message);
        onMainThread([this, message] { presentRecordError(message); });
    }
}

void RecordingCoordinator::finishMovieWriters(std::function<void()> then) {
    if (!additionalAudioVideoWriter_) {
        then();
        return;
    }
    std::weak_ptr<int> alive = lifetime_;
    // After the recorders' last frames, which finishPendingFrames queued on the writer's own thread.
    const bool started = additionalAudioVideoWriter_->isStarted();
    additionalAudioVideoWriter_->finish([alive, started, then = std::move(then)](Status finished) {
        if (!finished && started) logMessage("an error occurred recording the camera or audio: " + finished.error());
        DispatchQueue::mainQueue()->async([alive, then] {
            if (alive.lock()) then();
        });
    });
}

void RecordingCoordinator::leaveOutSilentRecorders() {
    std::vector<Recorder*> silent;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::started || realStartTriggered_) return;
        for (Recorder* recorder : pendingRecorders_)
            if (recorder != screenRecorder_.get()) silent.push_back(recorder);
        for (Recorder* recorder : silent) {
            eraseRecorder(pendingRecorders_, recorder);
            eraseRecorder(recorders_, recorder);
        }
    }
    for (Recorder* recorder : silent) {
        recorder->stopRecord();
        recorder->finishPendingFrames();
    }
    if (!silent.empty()) {
        const std::string message =
            silent.size() == 1 ? "A sound or camera source delivered nothing; the recording goes on without it."
                               : std::to_string(silent.size()) +
                                     " sound or camera sources delivered nothing; the recording goes on without them.";
        logMessage(message);
        presentRecordError(message);
    }
    std::lock_guard lock(mutex_);
    if (!pendingRecorders_.empty() || realStartTriggered_ || state_ != State::started) return;
    realStartTriggered_ = true;
    startMovieWritersLocked();
    recordStartTime_.store(now());
    onMainThread([this] { startRealRecordOnMainThread(); });
}

} // namespace vtl
