#pragma once
// The screen grabber's per-update decisions, kept apart from pixels and threads so they can be
// checked with made-up updates and times: the frame time base without pauses, when to make a
// thumbnail, when encoder pressure skips or drops a frame (holding its changes back for the next
// one) and frame numbering. Owned by one VTL3RecordImageGrabber; its
// methods are called under the grabber's lock, except the pressure, which may be set from any thread.

#include "platform/capture/DisplayStreamUpdate.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "recorder/KeyFrameDecision.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class FrameScheduler {
public:
    static constexpr std::uint64_t kMinimumFrameRate = 2;
    // Above this encoder pressure no frames are made at all.
    static constexpr double kSkipPressure = 5.0;
    // A frame is dropped when cost × pressure exceeds this many times the seconds since the last kept frame.
    static constexpr double kDropBudgetPerSecond = 30.0;
    static constexpr double kThumbnailIntervalSeconds = 1.0;

    // Fails for frame rates below 2.
    static Result<std::unique_ptr<FrameScheduler>> create(std::uint64_t frameRate);

    struct Plan {
        double frameTimeSeconds = 0;
        std::int64_t frameIndex = 0;
        bool makeThumbnail = false;
        bool skip = false; // pressure too high: no frame; the update is held back
        std::shared_ptr<const DisplayStreamUpdate> update; // with any held-back changes merged in
    };

    // The recording's start on the display clock (seconds): later frame times count from it and
    // the first frame, the picture the recording opens with, is at 0. Without it the first
    // delivered update is the start.
    void setStartTime(double startSeconds);
    // The stop on the same clock: the stop frame's time is taken from it, not from when the
    // stream is finally closed. Only the first call counts.
    void setStopTime(double stopSeconds);

    // Takes one delivered update: merges held-back changes into it, works out its frame time,
    // whether it gets a thumbnail and whether it is skipped.
    Plan planUpdate(std::uint64_t displayTimeNanoseconds, std::shared_ptr<const DisplayStreamUpdate> update);
    // Whether a frame of the plan, with the given key-frame decision and cost, is dropped; a
    // dropped frame's update is held back for the next one.
    bool dropFrame(const Plan& plan, KeyFrameDecision keyFrameDecision, double cost);
    // Counts a kept frame: the next frame takes the next index.
    void acceptFrame(const Plan& plan);

    // Pausing stops the time base; resuming adds the paused interval to the time taken out of
    // every later frame time. A call with the current state does nothing; answers whether it changed.
    bool setPaused(bool paused, double nowSeconds);
    bool isPaused() const { return paused_; }
    double accumulatedPauseSeconds() const { return accumulatedPauseSeconds_; }

    // Time of the stop frame at `nowSeconds` (monotonic) or at the stop given before: never before
    // the last kept frame, and 0 when no update ever arrived.
    double stopFrameTime(double nowSeconds) const;

    void setEncodeQueuePressure(double pressure) { pressure_.store(pressure, std::memory_order_relaxed); }
    double encodeQueuePressure() const { return pressure_.load(std::memory_order_relaxed); }

    std::uint64_t frameRate() const { return frameRate_; }
    std::int64_t frameCounter() const { return frameCounter_; }
    bool hasHeldBackUpdate() const { return heldBack_ != nullptr; }

private:
    explicit FrameScheduler(std::uint64_t frameRate)
        : frameRate_(frameRate) {}

    std::uint64_t frameRate_;
    std::atomic<double> pressure_{0.0};
    std::int64_t frameCounter_ = 0;
    std::uint64_t displayStreamStartNanoseconds_ = 0;
    bool haveStart_ = false;
    std::optional<double> startTime_;
    std::optional<double> stopTime_;
    double lastFrameTimeInterval_ = 0;
    bool haveLastFrameTime_ = false;
    double lastThumbTime_ = 0;
    std::int64_t lastThumbFrameCounter_ = -1;
    bool paused_ = false;
    double pauseStartTime_ = 0;
    double accumulatedPauseSeconds_ = 0;
    std::shared_ptr<const DisplayStreamUpdate> heldBack_;
};

} // namespace vtl
