#include "recorder/FrameScheduler.h"

#include <algorithm>
#include <cmath>

namespace vtl {

Result<std::unique_ptr<FrameScheduler>> FrameScheduler::create(std::uint64_t frameRate) {
    if (frameRate < kMinimumFrameRate)
        return fail("The frame rate " + std::to_string(frameRate) +
                    " is not supported; recording needs at least " + std::to_string(kMinimumFrameRate) +
                    " frames per second.");
    return std::unique_ptr<FrameScheduler>(new FrameScheduler(frameRate));
}

void FrameScheduler::setStartTime(double startSeconds) {
    if (std::isfinite(startSeconds) && startSeconds >= 0 && !haveStart_) startTime_ = startSeconds;
}

void FrameScheduler::setStopTime(double stopSeconds) {
    if (std::isfinite(stopSeconds) && !stopTime_) stopTime_ = stopSeconds;
}

FrameScheduler::Plan FrameScheduler::planUpdate(std::uint64_t displayTimeNanoseconds,
                                                std::shared_ptr<const DisplayStreamUpdate> update) {
    Plan plan;
    if (!update) update = std::make_shared<const DisplayStreamUpdate>();
    if (heldBack_) {
        update = DisplayStreamUpdate::merged(*heldBack_, *update);
        heldBack_.reset();
    }
    plan.update = update;

    if (!haveStart_) {
        displayStreamStartNanoseconds_ =
            startTime_ ? std::min(displayTimeNanoseconds,
                                  static_cast<std::uint64_t>(std::llround(*startTime_ * 1e9)))
                       : displayTimeNanoseconds;
        haveStart_ = true;
    }
    plan.frameTimeSeconds = static_cast<double>(displayTimeNanoseconds) / 1e9 -
                            static_cast<double>(displayStreamStartNanoseconds_) / 1e9 -
                            accumulatedPauseSeconds_;
    // The first picture opens the recording, however late after the start it came.
    if (startTime_ && !haveLastFrameTime_) plan.frameTimeSeconds = 0;
    if (!haveLastFrameTime_) {
        lastFrameTimeInterval_ = plan.frameTimeSeconds;
        haveLastFrameTime_ = true;
    }
    plan.frameIndex = frameCounter_;

    // A thumbnail every half second of kept frames and at least once a second. Each frame count
    // gives one thumbnail at most, so updates skipped or dropped under pressure (which leave the
    // count where it is) do not make one each.
    auto halfRate = static_cast<std::int64_t>(frameRate_ / 2);
    bool dueByCount = frameCounter_ % halfRate == 0 && frameCounter_ != lastThumbFrameCounter_;
    bool dueByTime = plan.frameTimeSeconds - lastThumbTime_ > kThumbnailIntervalSeconds;
    if (dueByCount || dueByTime) {
        plan.makeThumbnail = true;
        lastThumbTime_ = plan.frameTimeSeconds;
        lastThumbFrameCounter_ = frameCounter_;
    }

    if (encodeQueuePressure() > kSkipPressure) {
        plan.skip = true;
        heldBack_ = plan.update;
    }
    return plan;
}

bool FrameScheduler::dropFrame(const Plan& plan, KeyFrameDecision keyFrameDecision, double cost) {
    if (keyFrameDecision == KeyFrameDecision::Scheduled) return false;
    double pressure = encodeQueuePressure();
    if (!(pressure > 0)) return false;
    if (cost * pressure > kDropBudgetPerSecond * (plan.frameTimeSeconds - lastFrameTimeInterval_)) {
        heldBack_ = plan.update;
        return true;
    }
    return false;
}

void FrameScheduler::acceptFrame(const Plan& plan) {
    ++frameCounter_;
    lastFrameTimeInterval_ = plan.frameTimeSeconds;
}

bool FrameScheduler::setPaused(bool paused, double nowSeconds) {
    if (paused == paused_) return false;
    if (paused) {
        pauseStartTime_ = nowSeconds;
    } else {
        accumulatedPauseSeconds_ += std::max(0.0, nowSeconds - pauseStartTime_);
        pauseStartTime_ = 0;
    }
    paused_ = paused;
    return true;
}

double FrameScheduler::stopFrameTime(double nowSeconds) const {
    if (!haveStart_) return 0;
    // A recording stopped while paused ends where the pause began.
    double end = paused_ ? pauseStartTime_ : stopTime_ ? *stopTime_ : nowSeconds;
    double t = end - static_cast<double>(displayStreamStartNanoseconds_) / 1e9 - accumulatedPauseSeconds_;
    return std::max(t, haveLastFrameTime_ ? lastFrameTimeInterval_ : 0.0);
}

} // namespace vtl
