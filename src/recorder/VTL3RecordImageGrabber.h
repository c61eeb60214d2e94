#pragma once
// The screen grabber: captures the recorded area of one screen through a display stream and turns
// every delivered update into a frame for the encode queue (a key frame, a moved/changed-block
// frame, now and then a thumbnail). It drops or skips frames while the encoder falls behind,
// keeps the frame times free of pauses and stops the recording when the disk is nearly full.
// Created by the recording coordinator, which owns it together with the encode queue.

#include "platform/capture/DisplayStream.h"
#include "platform/foundation/DispatchWorkerGroup.h"
#include "recorder/FrameScheduler.h"
#include "recorder/RecordingModes.h"
#include "recorder/ScreenGrabberCoordinator.h"
#include "recorder/ScreenGrabberUpdateSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vtl {

class VTL3RecordEndcodeQueue;

// The screen grabber's connections to the world; tests replace them.
struct ImageGrabberServices {
    // Opens the update source; empty: the X display's display stream.
    ScreenGrabberUpdateSourceFactory openUpdateSource;
    // Monotonic seconds for pauses, the stop frame and disk checks; empty: the capture clock.
    std::function<double()> clockSeconds;
    // Free bytes of the disk holding a path; empty: the file system's answer.
    std::function<std::optional<std::uint64_t>(const std::string&)> freeDiskSpace;
    // Copies and thumbnails on the capture thread instead of threads of their own.
    bool synchronousWork = false;
    unsigned copyThreads = 2;
};

class VTL3RecordImageGrabber {
public:
    using Services = ImageGrabberServices;

    static constexpr std::uint64_t kMinimumFreeDiskBytes = 1000000000;
    static constexpr double kDiskCheckIntervalSeconds = 10.0;
    static constexpr std::string_view kLowDiskMessage = "Recording stopped, less than 1 GB left on disk.";
    static constexpr int kStreamQueueDepth = 8;

    struct Statistics {
        std::uint64_t delivered = 0; // complete updates from the source
        std::uint64_t kept = 0;      // frames handed on to the encode queue
        std::uint64_t skipped = 0;   // no frame made: pressure above 5
        std::uint64_t dropped = 0;   // frame made and dropped: too costly under pressure
        std::uint64_t thumbnails = 0;
        std::uint64_t keyFrames = 0;
    };

    // Makes the grabber and its (not yet started) update source. Fails for frame rates below 2,
    // or when the display cannot be recorded.
    static Result<std::unique_ptr<VTL3RecordImageGrabber>>
    create(std::uint64_t frameRate, RecordMode recordMode, VTL3RecordEndcodeQueue& encodeQueue,
           ScreenGrabberCoordinator& coordinator, RecordQuality recordQuality, Services services = {});
    ~VTL3RecordImageGrabber();
    VTL3RecordImageGrabber(const VTL3RecordImageGrabber&) = delete;
    VTL3RecordImageGrabber& operator=(const VTL3RecordImageGrabber&) = delete;

    void setWindowNumber(int windowNumber) { windowNumber_ = windowNumber; }
    int windowNumber() const { return windowNumber_; }

    // Recorder operations, in the order the coordinator calls them.
    void startProcessQueue();
    void startRecord() {}
    // The real start: the source starts delivering. With `startSeconds` (the recording's start on
    // the grabber's clock) frame times count from it; otherwise from the first delivered update.
    void setWriteToMovie(std::optional<double> startSeconds = std::nullopt);
    // Pauses and stops take place at `atSeconds` on the grabber's clock, or now.
    void setPaused(bool paused, std::optional<double> atSeconds = std::nullopt);
    void resumeRecord();
    void stopRecord(std::optional<double> atSeconds = std::nullopt);
    void finishPendingFrames() {}
    // Writes the stop frame, finishes the encode queue and reports done to the coordinator; a
    // recording whose files could not be written completely reports error 1 first.
    void finalizeRecord();

    // From the encode queue's worker after every frame.
    void setEncodeQueuePressure(double pressure) { scheduler_->setEncodeQueuePressure(pressure); }
    // Before the first frame and then at most every 10 seconds: below 1 GB free, logs, sets error
    // 1 and has the coordinator stop at once. Answers whether it asked.
    bool checkFreeDiskSpace();

    // The followed window's frame relative to the recorded screen, y up, in pixels; `valid` says
    // whether that window is on screen (the zero rectangle otherwise) and `flippedOrigin` is the
    // rectangle's origin.
    Rect rectForWindowValid(bool& valid, Point& flippedOrigin) const;

    Statistics statistics() const;
    std::int64_t frameCounter() const;
    bool isPaused() const;

private:
    VTL3RecordImageGrabber(VTL3RecordEndcodeQueue& encodeQueue, ScreenGrabberCoordinator& coordinator,
                           std::shared_ptr<FrameScheduler> scheduler, RecordMode recordMode,
                           RecordQuality recordQuality, Services services);
    void handleUpdate(DisplayStreamFrameStatus status, std::uint64_t displayTimeNanoseconds,
                      const std::shared_ptr<CaptureSurface>& surface,
                      const std::shared_ptr<const DisplayStreamUpdate>& update);
    // Under mutex_: whether the disk check asks for the recording to stop.
    bool diskSpaceRunsOutLocked();
    void startSource();

    VTL3RecordEndcodeQueue& encodeQueue_;
    ScreenGrabberCoordinator& coordinator_;
    // Shared with the encode queue's pressure handler, which may outlive the grabber.
    std::shared_ptr<FrameScheduler> scheduler_;
    RecordMode recordMode_;
    RecordQuality recordQuality_;
    int windowNumber_ = 0;
    Services services_;
    Rect recordedRect_; // the physical area in surface pixels: origin 0, 0

    mutable std::mutex mutex_; // frame counter, frame creation and the scheduler's state
    bool running_ = false;
    bool finalized_ = false;
    bool diskStopAsked_ = false;
    std::optional<double> lastDiskSpaceCheckTime_; // none before the first check
    Statistics statistics_;

    std::unique_ptr<ScreenGrabberUpdateSource> source_;
    // Destroyed before the source; both finish their jobs first. The thumbnail queue has one
    // thread, so thumbnails stay in order.
    std::unique_ptr<DispatchWorkerGroup> thumbnailQueue_;
    std::unique_ptr<DispatchWorkerGroup> copyQueue_;
};

} // namespace vtl
