#pragma once
// Records a camera into a ProRes 422 track of the recording's additional movie. The camera's
// thread only copies pictures into slots made beforehand; the movie's own thread encodes them.
// The first picture makes the track (at its size) and announces the camera; pictures are timed
// from the recording's start, none while paused. Owned by the recording coordinator.

#include "platform/foundation/Result.h"
#include "recorder/RecorderDelegate.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class Camera;
class DispatchTimer;
class MovieWriterQueue;

class VTLCameraRecorder final : public Recorder {
public:
    struct Options {
        // The recording's clock and the clock time of its start (moved on by pauses); 0 before it.
        std::function<double()> clockSeconds;
        std::function<double()> recordStartTime;
        // Shows a sentence to the user (any thread).
        std::function<void(const std::string&)> reportError;
        double drainIntervalSeconds = 0.01;
    };
    struct Statistics {
        std::uint64_t framesWritten = 0;
        std::uint64_t framesDropped = 0; // the writer lagged, or two pictures fell in one frame interval
    };

    // The camera runs from now on.
    static Result<std::unique_ptr<VTLCameraRecorder>> create(std::unique_ptr<Camera> camera,
                                                             std::shared_ptr<MovieWriterQueue> writer,
                                                             RecorderDelegate& coordinator, Options options);
    ~VTLCameraRecorder() override;

    const Camera& camera() const { return *camera_; }
    bool writeToMovie() const { return writing_.load(); }

    void setWriteToMovie() override { writing_.store(true); }
    void setPaused(bool paused) override { paused_.store(paused); }
    void stopRecord() override;
    void finishPendingFrames() override;
    void finalizeRecord() override;

    Statistics statistics() const { return {written_.load(), dropped_.load()}; }
    // The newest picture (B, G, R, A, the camera's size) for a preview; false before the first.
    bool copyLatestFrame(std::vector<std::uint8_t>& pixels, int& widthPixels, int& heightPixels) const;

private:
    struct Slot;

    VTLCameraRecorder(std::unique_ptr<Camera> camera, std::shared_ptr<MovieWriterQueue> writer,
                      RecorderDelegate& coordinator, Options options);
    void captured(const struct CameraFrame& frame);
    // The movie's thread.
    void drain(bool complete);
    void endTrack(const std::string& message);

    std::unique_ptr<Camera> camera_;
    std::shared_ptr<MovieWriterQueue> writer_;
    RecorderDelegate& coordinator_;
    Options options_;
    int width_ = 0;
    int height_ = 0;
    std::int32_t timeScale_ = 30000; // ticks of a second; frameTicks_ of them make one frame
    std::int64_t frameTicks_ = 1000;

    // A ring of picture slots: the camera's thread fills, the movie's thread empties.
    std::vector<std::unique_ptr<Slot>> slots_;
    std::atomic<std::uint64_t> filled_{0};
    std::atomic<std::uint64_t> emptied_{0};
    std::unique_ptr<Slot> latest_; // for a preview, guarded by latestLock_
    mutable std::atomic_flag latestLock_ = ATOMIC_FLAG_INIT;

    std::atomic<bool> sawFirstFrame_{false};
    std::atomic<bool> writing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> trackEnded_{false};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::shared_ptr<DispatchTimer> drainTimer_;

    // The movie's thread.
    bool hasNotifiedAboutData_ = false;
    std::optional<std::size_t> track_;
    std::int64_t lastTick_ = -1;
};

} // namespace vtl
