#include "recorder/VTL3RecordImageGrabber.h"

#include "platform/capture/WindowFrames.h"
#include "platform/foundation/DiskSpace.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTLRecorderKeyFrame.h"
#include "recorder/VTLRecorderMoveChangeBlockFrame.h"
#include "recorder/VTLRecorderStopFrame.h"
#include "recorder/VTLRecorderThumbnailFrame.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

// A capture surface as the frames see it. While any frame holds it, its use count stays raised,
// so the display stream does not grab into it again.
class CaptureRecorderSurface final : public RecorderSurface {
public:
    explicit CaptureRecorderSurface(std::shared_ptr<CaptureSurface> surface)
        : surface_(std::move(surface)) {
        surface_->incrementUseCount();
    }
    ~CaptureRecorderSurface() override { surface_->decrementUseCount(); }

    std::uint32_t width() const override { return surface_->width(); }
    std::uint32_t height() const override { return surface_->height(); }
    std::size_t bytesPerRow() const override { return surface_->bytesPerRow(); }
    const std::uint8_t* lockForReading() override {
        surface_->lockReadOnly();
        return surface_->baseAddress();
    }
    void unlock() override { surface_->unlockReadOnly(); }

private:
    std::shared_ptr<CaptureSurface> surface_;
};

// std::function needs copyable jobs; a frame travels to its job in a shared box.
template <class T> auto boxed(std::unique_ptr<T> p) {
    return std::make_shared<std::unique_ptr<T>>(std::move(p));
}

} // namespace

Result<std::unique_ptr<VTL3RecordImageGrabber>>
VTL3RecordImageGrabber::create(std::uint64_t frameRate, RecordMode recordMode,
                               VTL3RecordEndcodeQueue& encodeQueue, ScreenGrabberCoordinator& coordinator,
                               RecordQuality recordQuality, Services services) {
    auto created = FrameScheduler::create(frameRate);
    if (!created) return created.asFailure();
    std::shared_ptr<FrameScheduler> scheduler = std::move(created).value();
    if (!services.openUpdateSource) services.openUpdateSource = openDisplayStreamSource;
    if (!services.clockSeconds) services.clockSeconds = [] { return monotonicSeconds(); };
    if (!services.freeDiskSpace)
        services.freeDiskSpace = [](const std::string& path) -> std::optional<std::uint64_t> {
            auto free = freeDiskSpaceBytes(path);
            return free ? std::optional(*free) : std::nullopt;
        };

    std::unique_ptr<VTL3RecordImageGrabber> grabber(new VTL3RecordImageGrabber(
        encodeQueue, coordinator, std::move(scheduler), recordMode, recordQuality, std::move(services)));

    Rect physical = coordinator.physicalAreaOnRecordingScreenRect();
    DisplayStreamConfiguration config;
    config.displayID = coordinator.displayID();
    config.sourceRect = coordinator.logicalAreaOnRecordingScreenRect();
    config.outputWidth = static_cast<std::uint32_t>(physical.width());
    config.outputHeight = static_cast<std::uint32_t>(physical.height());
    config.queueDepth = kStreamQueueDepth;
    // At 60 frames per second the stream's own pace is kept.
    if (frameRate != 60) config.minimumFrameTimeSeconds = 1.0 / static_cast<double>(frameRate);
    VTL3RecordImageGrabber* raw = grabber.get();
    auto source = grabber->services_.openUpdateSource(
        config, [raw](DisplayStreamFrameStatus status, std::uint64_t time,
                      const std::shared_ptr<CaptureSurface>& surface,
                      const std::shared_ptr<const DisplayStreamUpdate>& update) {
            raw->handleUpdate(status, time, surface, update);
        });
    if (!source) return source.asFailure();
    if (!*source) return fail("The screen has no source of updates.");
    grabber->source_ = std::move(source).value();
    encodeQueue.setPressureHandler(
        [scheduler = grabber->scheduler_](double pressure) { scheduler->setEncodeQueuePressure(pressure); });
    return grabber;
}

VTL3RecordImageGrabber::VTL3RecordImageGrabber(VTL3RecordEndcodeQueue& encodeQueue,
                                               ScreenGrabberCoordinator& coordinator,
                                               std::shared_ptr<FrameScheduler> scheduler,
                                               RecordMode recordMode, RecordQuality recordQuality,
                                               Services services)
    : encodeQueue_(encodeQueue)
    , coordinator_(coordinator)
    , scheduler_(std::move(scheduler))
    , recordMode_(recordMode)
    , recordQuality_(recordQuality)
    , services_(std::move(services)) {
    Rect physical = coordinator.physicalAreaOnRecordingScreenRect();
    recordedRect_ = Rect(0, 0, std::floor(physical.width()), std::floor(physical.height()));
    // Without threads of their own the jobs run at once on the capture thread.
    thumbnailQueue_ = std::make_unique<DispatchWorkerGroup>(services_.synchronousWork ? 0 : 1, "thumbnails");
    copyQueue_ = std::make_unique<DispatchWorkerGroup>(
        services_.synchronousWork ? 0 : std::max(1u, services_.copyThreads), "frame copies");
}

VTL3RecordImageGrabber::~VTL3RecordImageGrabber() {
    if (source_) source_->stop();
    copyQueue_.reset();
    thumbnailQueue_.reset();
}

void VTL3RecordImageGrabber::startProcessQueue() {
    coordinator_.recorderStartedProducingData(*this);
}

void VTL3RecordImageGrabber::startSource() {
    if (Status started = source_->start(); !started)
        logMessage("The screen capture could not be started: " + started.error());
}

void VTL3RecordImageGrabber::setWriteToMovie(std::optional<double> startSeconds) {
    {
        std::lock_guard lock(mutex_);
        if (running_ || finalized_) return;
        running_ = true;
        if (startSeconds) scheduler_->setStartTime(*startSeconds);
    }
    startSource();
}

void VTL3RecordImageGrabber::resumeRecord() {
    {
        std::lock_guard lock(mutex_);
        if (running_ || finalized_ || scheduler_->isPaused()) return;
        running_ = true;
    }
    startSource();
}

void VTL3RecordImageGrabber::setPaused(bool paused, std::optional<double> atSeconds) {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        if (finalized_) return;
        changed = scheduler_->setPaused(paused, atSeconds ? *atSeconds : services_.clockSeconds());
        if (changed) running_ = !paused;
    }
    if (!changed) return;
    if (paused)
        source_->stop();
    else
        startSource();
}

void VTL3RecordImageGrabber::stopRecord(std::optional<double> atSeconds) {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        // The stop frame closes the stream at the stop, not when the files are finally finished.
        if (!finalized_) scheduler_->setStopTime(atSeconds ? *atSeconds : services_.clockSeconds());
    }
    source_->stop();
}

bool VTL3RecordImageGrabber::diskSpaceRunsOutLocked() {
    double now = services_.clockSeconds();
    // The first check comes before the first frame: a nearly full disk takes no recording.
    if (diskStopAsked_ ||
        (lastDiskSpaceCheckTime_ && now - *lastDiskSpaceCheckTime_ < kDiskCheckIntervalSeconds))
        return false;
    lastDiskSpaceCheckTime_ = now;
    std::string path = coordinator_.recordPath();
    std::optional<std::uint64_t> free = services_.freeDiskSpace(path);
    if (!free) {
        logOnce("grabber.diskspace", "The free space of the disk holding " + path + " cannot be read.");
        return false;
    }
    if (*free >= kMinimumFreeDiskBytes) return false;
    logMessage(std::string(kLowDiskMessage));
    diskStopAsked_ = true;
    return true;
}

bool VTL3RecordImageGrabber::checkFreeDiskSpace() {
    bool stop = false;
    {
        std::lock_guard lock(mutex_);
        stop = diskSpaceRunsOutLocked();
    }
    if (stop) {
        coordinator_.showError(1);
        coordinator_.stopRecordingAfterFailure(std::string(kLowDiskMessage));
    }
    return stop;
}

void VTL3RecordImageGrabber::handleUpdate(DisplayStreamFrameStatus status,
                                          std::uint64_t displayTimeNanoseconds,
                                          const std::shared_ptr<CaptureSurface>& surface,
                                          const std::shared_ptr<const DisplayStreamUpdate>& update) {
    if (status != DisplayStreamFrameStatus::frameComplete || !surface || !update) return;

    std::unique_ptr<VTL3RecorderFrame> frame;
    bool stopForDisk = false;
    {
        std::lock_guard lock(mutex_);
        // Late updates after a stop, a pause or the end belong to no frame.
        if (!running_ || finalized_) return;
        ++statistics_.delivered;
        FrameScheduler::Plan plan = scheduler_->planUpdate(displayTimeNanoseconds, update);
        auto shared = std::make_shared<CaptureRecorderSurface>(surface);

        if (plan.makeThumbnail) {
            ++statistics_.thumbnails;
            auto thumbnail = boxed(std::make_unique<VTLRecorderThumbnailFrame>(
                shared, recordedRect_, plan.frameTimeSeconds, plan.frameIndex));
            thumbnailQueue_->async([this, thumbnail] {
                VTL3RecorderFrame& t = **thumbnail;
                if (t.processSurface(encodeQueue_.pool())) encodeQueue_.encodeThumbnailFrame(t);
                thumbnail->reset();
            });
        }
        if (plan.skip) {
            ++statistics_.skipped;
            return;
        }

        const auto& refreshed = plan.update->refreshedRects();
        const KeyFrameDecision decision = VTLRecorderKeyFrame::surfaceRequiresKeyframe(
            surface->width(), surface->height(), refreshed, plan.frameIndex, scheduler_->frameRate());
        if (decision != KeyFrameDecision::NotNeeded)
            frame = std::make_unique<VTLRecorderKeyFrame>(shared, recordedRect_, plan.frameTimeSeconds,
                                                          plan.frameIndex);
        else
            frame = std::make_unique<VTLRecorderMoveChangeBlockFrame>(
                shared, recordedRect_, plan.frameTimeSeconds, plan.frameIndex, plan.update->movedRects(),
                plan.update->moveDeltaX(), plan.update->moveDeltaY(), refreshed);
        stopForDisk = diskSpaceRunsOutLocked();
        frame->setRecordQuality(recordQuality_);

        if (scheduler_->dropFrame(plan, decision, frame->costToEncodeFrame())) {
            ++statistics_.dropped;
            frame.reset();
        } else {
            scheduler_->acceptFrame(plan);
            ++statistics_.kept;
            if (decision != KeyFrameDecision::NotNeeded) ++statistics_.keyFrames;
        }
    }

    if (frame) {
        auto job = boxed(std::move(frame));
        copyQueue_->async([this, job] {
            // A frame whose copy failed is still added: the queue needs every index to move on.
            (*job)->processSurface(encodeQueue_.pool());
            encodeQueue_.addRecorderFrame(std::move(*job));
        });
    }
    if (stopForDisk) {
        coordinator_.showError(1);
        coordinator_.stopRecordingAfterFailure(std::string(kLowDiskMessage));
    }
}

void VTL3RecordImageGrabber::finalizeRecord() {
    stopRecord();
    std::int64_t index = 0;
    double time = 0;
    {
        std::lock_guard lock(mutex_);
        if (finalized_) return;
        finalized_ = true;
        index = scheduler_->frameCounter();
        time = scheduler_->stopFrameTime(services_.clockSeconds());
    }
    // Every kept frame reaches the encode queue before the stop frame that closes the stream.
    copyQueue_->drain();
    thumbnailQueue_->drain();
    encodeQueue_.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(time, index));
    Status finalized = encodeQueue_.finalizeRecord();
    if (!finalized) {
        logMessage("The screen recording was not written completely: " + finalized.error());
        // The package keeps every frame before the failure, but the recording must not pass for
        // a complete one: the writes failed because the disk gave out.
        coordinator_.showError(1);
    }
    coordinator_.recorderDone(*this);
}

Rect VTL3RecordImageGrabber::rectForWindowValid(bool& valid, Point& flippedOrigin) const {
    valid = false;
    flippedOrigin = {};
    std::optional<Rect> frame = onScreenWindowFrame(static_cast<std::uint32_t>(windowNumber_));
    if (!frame) return {};
    Rect screen = coordinator_.logicalRecordingScreenRect();
    double scale = coordinator_.recordingScreenScaling();
    Rect relative(frame->minX() - screen.minX(), frame->minY() - screen.minY(), frame->width(),
                  frame->height());
    if (scale != 1.0)
        relative = Rect(relative.minX() * scale, relative.minY() * scale, relative.width() * scale,
                        relative.height() * scale);
    valid = true;
    flippedOrigin = relative.origin;
    return relative;
}

VTL3RecordImageGrabber::Statistics VTL3RecordImageGrabber::statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

std::int64_t VTL3RecordImageGrabber::frameCounter() const {
    std::lock_guard lock(mutex_);
    return scheduler_->frameCounter();
}

bool VTL3RecordImageGrabber::isPaused() const {
    std::lock_guard lock(mutex_);
    return scheduler_->isPaused();
}

} // namespace vtl
