// The coordinator's sound and camera recorders: the system's sound, audio devices and the camera,
// the shared writer of "additionalAudioAndVideo.mov", and recorders that never deliver.

#include "platform/audio/AudioHardware.h"
#include "platform/capture/Camera.h"
#include "platform/capture/MobileDevice.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MovieWriterQueue.h"
#include "recorder/CoordinatedAudioDeviceRecorder.h"
#include "recorder/RecordingCoordinator.h"
#include "recorder/VTLCameraRecorder.h"
#include "recorder/VTLSystemAudioRecorder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

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
    // What was asked for and cannot be recorded is logged and told to the main application (see
    // unrecordedRequests), never passed over in silence.
    auto unrecorded = [this](std::string message) {
        logMessage(message);
        unrecordedRequests_.push_back(std::move(message));
    };
    auto findDevice = [&](const AudioDeviceToRecord& wanted) -> std::optional<CompositionAudioRecordDevice> {
        if (services_.findAudioDevice)
            return services_.findAudioDevice(wanted.persistentUID, wanted.audioStreamID);
        if (!hardware) hardware = AudioHardware::shared();
        return CompositionAudioRecordDevice::deviceWithPersistentDeviceUID(wanted.persistentUID,
                                                                           wanted.audioStreamID, *hardware);
    };

    bool systemAudio = false;
    std::vector<CompositionAudioRecordDevice> kept;
    for (const AudioDeviceToRecord& wanted : settings.audioDevicesToRecord) {
        std::optional<CompositionAudioRecordDevice> device = findDevice(wanted);
        if (!device) {
            unrecorded("The sound device " + wanted.persistentUID + " (stream " +
                       std::to_string(wanted.audioStreamID) + ") was not found, so it is not recorded.");
            continue;
        }
        if (device->name() == AudioHardware::systemAudioDeviceName) {
            systemAudio = true;
            continue;
        }
        if (device->deviceNumberOfChannels() < 1) {
            unrecorded("The sound device " + device->name() + " has no input, so it is not recorded.");
            continue;
        }
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
            unrecorded("The system's sound cannot be recorded: " + prepared.error());
        }
    }

    if (!settings.recordISight && kept.empty()) return;
    const std::string moviePath = (std::filesystem::path(recordPath_) / kAdditionalMovieFileName).string();
    MovieWriterOptions writerOptions;
    writerOptions.container = MovieContainer::QuickTime;
    auto writer = MovieWriterQueue::create(
        moviePath, "com.morlunesoftware.vistrel3.vistrelrecorder.additionalmovie", std::move(writerOptions));
    if (!writer) {
        unrecorded("The camera and audio devices cannot be recorded: " + writer.error());
        return;
    }
    additionalAudioVideoWriter_ = std::move(writer).value();
    if (!hardware && !kept.empty()) hardware = AudioHardware::shared();
    for (const CompositionAudioRecordDevice& device : kept) {
        VTLAudioDeviceRecorderOptions options;
        options.clockSeconds = services_.clockSeconds;
        options.trackTitle = device.name();
        auto recorder = std::make_unique<VTLAudioDeviceRecorder>(device, additionalAudioVideoWriter_,
                                                                 hardware, std::move(options));
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
        unrecordedRequests_.push_back(message);
        return;
    }
    VTLCameraRecorder::Options options;
    options.clockSeconds = services_.clockSeconds;
    options.recordStartTime = [this] { return recordStartTime(); };
    options.reportError = reportError;
    auto recorder =
        VTLCameraRecorder::create(std::move(camera).value(), additionalAudioVideoWriter_, *this, options);
    if (!recorder) {
        logMessage(recorder.error());
        unrecordedRequests_.push_back(recorder.error());
        return;
    }
    cameraRecorder_ = recorder->get();
    otherRecorders_.push_back(std::move(recorder).value());
    if (settings.showISightOnSecondaryMonitor && !iosRecorder_) showCameraOnAnotherScreen();
}

void RecordingCoordinator::showCameraOnAnotherScreen() {
    if (!services_.makeCameraPreviewWindow || !cameraRecorder_) return;
    Result<std::vector<ScreenDescription>> screens = services_.screens();
    if (!screens || screens->size() < 2) return;
    for (const ScreenDescription& screen : *screens) {
        if (screen.displayID == screen_.displayID) continue;
        // 640 × 480 in the middle of the first screen that is not recorded.
        const Rect content(screen.frame.minX() + (screen.frame.width() - 640) / 2,
                           screen.frame.minY() + (screen.frame.height() - 480) / 2, 640, 480);
        VTLCameraRecorder* camera = cameraRecorder_;
        externalISightWindow_ = services_.makeCameraPreviewWindow(
            camera->camera().description().localizedName, content,
            [camera](std::vector<std::uint8_t>& pixels, int& width, int& height) {
                return camera->copyLatestFrame(pixels, width, height);
            });
        return;
    }
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
    for (const auto& writer : {additionalAudioVideoWriter_, iosDeviceWriter_}) {
        // A movie whose recorders were all left out has nothing to write.
        if (!writer || writer->isStarted() || writer->trackCount() == 0) continue;
        // Not waited for: a recorder on that writer's thread may be waiting for this lock.
        std::weak_ptr<int> alive = lifetime_;
        writer->startAsync([this, alive](Status started) {
            if (started) return;
            const std::string message =
                "The camera, audio devices or iOS device cannot be recorded: " + started.error();
            logMessage(message);
            DispatchQueue::mainQueue()->async([this, alive, message] {
                if (alive.lock()) presentRecordError(message);
            });
        });
    }
}

void RecordingCoordinator::finishMovieWriters(std::function<void()> then) {
    std::vector<std::shared_ptr<MovieWriterQueue>> writers;
    for (const auto& writer : {additionalAudioVideoWriter_, iosDeviceWriter_})
        if (writer) writers.push_back(writer);
    if (writers.empty()) {
        then();
        return;
    }
    // Each completes after the recorders' last samples, which finishPendingFrames queued on its
    // own thread; the recorders are finalized once every one is closed.
    auto left = std::make_shared<std::size_t>(writers.size());
    std::weak_ptr<int> alive = lifetime_;
    for (const auto& writer : writers) {
        const bool started = writer->isStarted();
        writer->finish([alive, started, left, then](Status finished) {
            if (!finished && started)
                logMessage("an error occurred recording the camera or audio: " + finished.error());
            DispatchQueue::mainQueue()->async([alive, left, then] {
                if (alive.lock() && --*left == 0) then();
            });
        });
    }
}

void RecordingCoordinator::forwardIOSSurfaceID(std::uint32_t surfaceID) {
    onMainThread([this, surfaceID] { delegate_.setSurfaceID(surfaceID); });
}

void RecordingCoordinator::disableIOSAudioPreviewFromRecorder() {
    onMainThread([this] { delegate_.disableIOSAudioPreviewFromRecorder(); });
}

void RecordingCoordinator::disableIOSVideoPreviewFromRecorder() {
    onMainThread([this] { delegate_.disableIOSVideoPreviewFromRecorder(); });
}

Status RecordingCoordinator::prepareIOSDevice(const RecordingSettings& settings) {
    if (settings.path.empty() || !std::filesystem::path(settings.path).is_absolute())
        return failPrepare("The recording has no absolute package path.");
    auto open = services_.openMobileDevice ? services_.openMobileDevice
                                           : [](const std::string& id) { return openMobileDevice(id); };
    Result<std::unique_ptr<MobileDevice>> device = open(settings.iOSDeviceID);
    if (!device) return failPrepare(device.error());
    settings_ = settings;
    if (Status made = createPackageFolder(settings); !made) return made;
    const std::string name = (*device)->description().localizedName;
    MovieWriterOptions writerOptions;
    writerOptions.container = MovieContainer::QuickTime;
    auto writer =
        MovieWriterQueue::create((std::filesystem::path(recordPath_) / "iOSDevice.mov").string(),
                                 "com.morlunesoftware.vistrel3.vistrelrecorder.ios.writer", writerOptions);
    if (!writer) return failPrepare("The iOS device cannot be recorded: " + writer.error());
    iosDeviceWriter_ = std::move(writer).value();
    auto recorder =
        VTLiOSDeviceRecorder::create(std::move(device).value(), makeIOSDeviceMovieInputs(iosDeviceWriter_),
                                     nullptr, *this, settings.iosPreviewVideo, settings.iosPreviewAudio);
    if (!recorder) return failPrepare(recorder.error());
    iosRecorder_ = recorder->get();
    otherRecorders_.push_back(std::move(recorder).value());
    if (Status written = writeIOSDeviceMeta(recordPath_, name); !written)
        logMessage("The iOS device's name cannot be written: " + written.error());
    prepareAudioAndVideo(settings);
    {
        std::lock_guard lock(mutex_);
        for (auto& r : otherRecorders_)
            recorders_.push_back(r.get());
        pendingRecorders_ = recorders_;
    }
    setUpStatusItem(settings);
    state_ = State::prepared;
    return {};
}

void RecordingCoordinator::iOSDeviceMovieFacts(double& durationSeconds,
                                               std::optional<Size>& sizePixels) const {
    durationSeconds = 0;
    sizePixels.reset();
    auto asset = MediaAsset::open((std::filesystem::path(recordPath_) / "iOSDevice.mov").string());
    if (!asset) return;
    durationSeconds = (*asset)->duration().seconds();
    for (const MediaTrack& track : (*asset)->tracks())
        if (track.type == MediaType::Video) {
            sizePixels =
                Size{static_cast<double>(track.widthPixels), static_cast<double>(track.heightPixels)};
            break;
        }
}

void RecordingCoordinator::leaveOutSilentRecorders() {
    std::vector<Recorder*> silent;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::started || realStartTriggered_) return;
        for (Recorder* recorder : pendingRecorders_)
            // The screen and the iOS device are the recording itself: it waits for them.
            if (recorder != screenRecorder_.get() && recorder != iosRecorder_) silent.push_back(recorder);
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
            silent.size() == 1
                ? "A sound or camera source delivered nothing; the recording goes on without it."
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
