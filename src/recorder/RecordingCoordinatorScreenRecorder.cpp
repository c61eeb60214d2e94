#include "recorder/RecordingCoordinatorScreenRecorder.h"

#include "platform/foundation/Log.h"
#include "recorder/ScreenGrabberCoordinator.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTL3RecordImageGrabber.h"

namespace vtl {

namespace {

class GrabberScreenRecorder final : public CoordinatedScreenRecorder {
public:
    GrabberScreenRecorder(std::unique_ptr<VTL3RecordEndcodeQueue> queue)
        : queue_(std::move(queue)) {}
    ~GrabberScreenRecorder() override {
        // The grabber feeds the queue: it goes first.
        grabber_.reset();
        queue_.reset();
    }

    void startProcessQueue() override { grabber_->startProcessQueue(); }
    void startRecord() override { grabber_->startRecord(); }
    void setWriteToMovie() override { grabber_->setWriteToMovie(); }
    void setPaused(bool paused) override { grabber_->setPaused(paused); }
    void stopRecord() override { grabber_->stopRecord(); }
    void setWriteToMovieAt(double startSeconds) override { grabber_->setWriteToMovie(startSeconds); }
    void setPausedAt(bool paused, double atSeconds) override { grabber_->setPaused(paused, atSeconds); }
    void stopRecordAt(double atSeconds) override { grabber_->stopRecord(atSeconds); }
    void finishPendingFrames() override { grabber_->finishPendingFrames(); }
    void finalizeRecord() override { grabber_->finalizeRecord(); }

    double durationSeconds() const override { return queue_->duration(); }
    std::optional<Size> sizePixels() const override {
        Size size = queue_->size();
        if (size.width <= 0 || size.height <= 0) return std::nullopt;
        return size;
    }
    std::uint64_t bytesWrittenSoFar() const override { return queue_->bytesWrittenSoFar(); }

    std::unique_ptr<VTL3RecordEndcodeQueue> queue_;
    std::unique_ptr<VTL3RecordImageGrabber> grabber_;
};

} // namespace

Result<std::unique_ptr<CoordinatedScreenRecorder>>
createGrabberScreenRecorder(ScreenGrabberCoordinator& coordinator, const ScreenRecorderOptions& options) {
    Rect physical = coordinator.physicalAreaOnRecordingScreenRect();
    EncodeQueueSettings settings;
    settings.frameRate = static_cast<std::uint32_t>(options.frameRate);
    settings.areaWidthPixels = physical.width();
    settings.areaHeightPixels = physical.height();
    settings.screenScaling = coordinator.recordingScreenScaling();
    auto queue = std::make_unique<VTL3RecordEndcodeQueue>(settings);
    if (Status prepared = queue->prepareForRecording(coordinator.recordPath()); !prepared)
        return prepared.asFailure();
    // A quality above 2 is stored as 1; nothing reads it, the grabber keeps the raw quality.
    const int quality = static_cast<int>(options.recordQuality);
    queue->setCompressionAlgorithm(quality > 2 ? CompressionAlgorithm::Finer
                                               : static_cast<CompressionAlgorithm>(quality));
    queue->setErrorHandler([&coordinator](const std::string& message) {
        logMessage("The recording cannot be written any further: " + message);
        // What was written stays; a recording cut short must not pass for a complete one.
        coordinator.showError(1);
        coordinator.stopRecordingAfterFailure("Recording stopped, it could not be written: " + message);
    });

    auto recorder = std::make_unique<GrabberScreenRecorder>(std::move(queue));
    auto grabber =
        VTL3RecordImageGrabber::create(static_cast<std::uint64_t>(options.frameRate), options.recordMode,
                                       *recorder->queue_, coordinator, options.recordQuality);
    if (!grabber) return grabber.asFailure();
    recorder->grabber_ = std::move(grabber).value();
    if (options.recordMode == RecordMode::Window) recorder->grabber_->setWindowNumber(options.windowNumber);
    return std::unique_ptr<CoordinatedScreenRecorder>(std::move(recorder));
}

} // namespace vtl
