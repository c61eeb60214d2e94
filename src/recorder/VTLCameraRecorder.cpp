#include "recorder/VTLCameraRecorder.h"

#include "platform/capture/Camera.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/media/MovieWriter.h"
#include "platform/media/MovieWriterQueue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtl {

namespace {

// Pictures waiting for the encoder: enough for a short stall of the movie's thread.
constexpr std::size_t slotCount = 8;

} // namespace

struct VTLCameraRecorder::Slot {
    std::vector<std::uint8_t> pixels;
    double timeSeconds = 0;
};

VTLCameraRecorder::VTLCameraRecorder(std::unique_ptr<Camera> camera, std::shared_ptr<MovieWriterQueue> writer,
                                     RecorderDelegate& coordinator, Options options)
    : camera_(std::move(camera))
    , writer_(std::move(writer))
    , coordinator_(coordinator)
    , options_(std::move(options)) {
    if (!options_.clockSeconds) options_.clockSeconds = [] { return monotonicSeconds(); };
    if (!options_.recordStartTime) options_.recordStartTime = [] { return 0.0; };
}

Result<std::unique_ptr<VTLCameraRecorder>> VTLCameraRecorder::create(std::unique_ptr<Camera> camera,
                                                                     std::shared_ptr<MovieWriterQueue> writer,
                                                                     RecorderDelegate& coordinator,
                                                                     Options options) {
    if (!camera || !writer) return fail("The camera cannot be recorded.");
    std::unique_ptr<VTLCameraRecorder> recorder(
        new VTLCameraRecorder(std::move(camera), std::move(writer), coordinator, std::move(options)));
    VTLCameraRecorder& r = *recorder;
    r.width_ = r.camera_->widthPixels();
    r.height_ = r.camera_->heightPixels();
    // ProRes 422 needs an even width.
    if (r.width_ < 2 || r.height_ < 2 || r.width_ % 2 != 0)
        return fail("The camera's picture size cannot be recorded.");
    // The track's time base: whole frames of the camera's rate, 29.97 as exactly as 30.
    const double rate = r.camera_->frameRate();
    r.timeScale_ = static_cast<std::int32_t>(std::lround(rate * 1001));
    r.frameTicks_ = 1001;
    const std::size_t bytes = static_cast<std::size_t>(r.width_) * static_cast<std::size_t>(r.height_) * 4;
    for (std::size_t i = 0; i < slotCount; ++i) {
        r.slots_.push_back(std::make_unique<Slot>());
        r.slots_.back()->pixels.assign(bytes, 0);
    }
    r.latest_ = std::make_unique<Slot>();
    r.latest_->pixels.assign(bytes, 0);
    if (Status started = r.camera_->start([&r](const CameraFrame& frame) { r.captured(frame); }); !started)
        return fail("The camera " + r.camera_->description().localizedName +
                    " does not start: " + started.error());
    r.drainTimer_ = DispatchTimer::scheduleRepeating(
        r.options_.drainIntervalSeconds, [&r] { r.drain(false); }, r.writer_->queue());
    return recorder;
}

VTLCameraRecorder::~VTLCameraRecorder() {
    camera_->stop();
    if (drainTimer_) drainTimer_->cancel();
    writer_->queue()->sync([] {});
}

void VTLCameraRecorder::captured(const CameraFrame& frame) {
    if (frame.widthPixels != width_ || frame.heightPixels != height_ || !frame.pixels ||
        frame.bytesPerRow < static_cast<std::size_t>(width_) * 4)
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    auto copyInto = [&](Slot& slot) {
        for (int y = 0; y < height_; ++y)
            std::memcpy(slot.pixels.data() + static_cast<std::size_t>(y) * rowBytes,
                        frame.pixels + static_cast<std::size_t>(y) * frame.bytesPerRow, rowBytes);
    };
    // The preview's copy, unless the preview is reading it right now.
    if (!latestLock_.test_and_set(std::memory_order_acquire)) {
        copyInto(*latest_);
        latest_->timeSeconds = 1; // has a picture
        latestLock_.clear(std::memory_order_release);
    }
    if (paused_.load() || stopped_.load()) return;
    if (!sawFirstFrame_.load()) {
        // The first picture announces the camera; it is not written.
        sawFirstFrame_.store(true);
        return;
    }
    if (!writing_.load()) return;
    const double start = options_.recordStartTime();
    if (start <= 0) return;
    const std::uint64_t f = filled_.load(std::memory_order_relaxed);
    if (f - emptied_.load(std::memory_order_acquire) >= slots_.size()) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Slot& slot = *slots_[f % slots_.size()];
    copyInto(slot);
    // On the recording's clock, less the time the picture took to get here.
    const double age = std::max(0.0, monotonicSeconds() - frame.captureTimeSeconds);
    slot.timeSeconds = options_.clockSeconds() - age - start;
    filled_.store(f + 1, std::memory_order_release);
}

void VTLCameraRecorder::drain(bool complete) {
    if (trackEnded_.load()) {
        emptied_.store(filled_.load(std::memory_order_acquire), std::memory_order_release);
        return;
    }
    if (!hasNotifiedAboutData_) {
        if (!sawFirstFrame_.load() || stopped_.load()) return;
        hasNotifiedAboutData_ = true;
        VideoTrackSettings settings;
        settings.codec = VideoCodec::ProRes422;
        settings.widthPixels = width_;
        settings.heightPixels = height_;
        settings.frameRateNumerator = timeScale_;
        settings.frameRateDenominator = static_cast<int>(frameTicks_);
        settings.proResProfile = 2;
        settings.title = camera_->description().localizedName;
        Result<std::size_t> added = writer_->isStarted()
                                        ? Result<std::size_t>(fail("The movie has started already."))
                                        : writer_->addVideoTrack(settings);
        if (!added) {
            endTrack("The camera cannot be recorded: " + added.error());
            return;
        }
        track_ = *added;
        coordinator_.recorderStartedProducingData(*this);
        return;
    }
    if (!track_ || !writer_->isStarted()) return;
    MovieWriter& writer = writer_->writer();
    const double frameSeconds = static_cast<double>(frameTicks_) / timeScale_;
    for (std::uint64_t e = emptied_.load(std::memory_order_relaxed);
         e < filled_.load(std::memory_order_acquire); ++e) {
        const Slot& slot = *slots_[e % slots_.size()];
        // Whole frame intervals of the track; a picture in an interval already shown is left out.
        const std::int64_t tick = std::llround(slot.timeSeconds / frameSeconds);
        if (slot.timeSeconds >= 0 && tick > lastTick_) {
            const Status appended =
                writer.appendVideoFrame(*track_, slot.pixels.data(), static_cast<std::size_t>(width_) * 4,
                                        MediaTime{tick * frameTicks_, timeScale_});
            if (!appended) {
                emptied_.store(e + 1, std::memory_order_release);
                endTrack("The camera could not be recorded: " + appended.error());
                return;
            }
            lastTick_ = tick;
            written_.fetch_add(1);
        } else {
            dropped_.fetch_add(1);
        }
        emptied_.store(e + 1, std::memory_order_release);
    }
    if (complete && dropped_.load() > 0)
        logMessage("The camera's recording left out " + std::to_string(dropped_.load()) + " of " +
                   std::to_string(dropped_.load() + written_.load()) + " pictures.");
}

void VTLCameraRecorder::endTrack(const std::string& message) {
    if (trackEnded_.exchange(true)) return;
    logMessage(message);
    if (options_.reportError) options_.reportError(message);
}

void VTLCameraRecorder::stopRecord() {
    stopped_.store(true);
    writing_.store(false);
    camera_->stop();
}

void VTLCameraRecorder::finishPendingFrames() {
    if (drainTimer_) drainTimer_->cancel();
    writer_->queue()->async([this] { drain(true); });
}

void VTLCameraRecorder::finalizeRecord() {
    coordinator_.recorderDone(*this);
}

bool VTLCameraRecorder::copyLatestFrame(std::vector<std::uint8_t>& pixels, int& widthPixels,
                                        int& heightPixels) const {
    while (latestLock_.test_and_set(std::memory_order_acquire)) {
    }
    const bool has = latest_->timeSeconds > 0;
    if (has) pixels = latest_->pixels;
    latestLock_.clear(std::memory_order_release);
    widthPixels = width_;
    heightPixels = height_;
    return has;
}

} // namespace vtl
