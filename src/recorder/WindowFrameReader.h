#pragma once
// The front-window follower of a full-screen recording: a few times a second it looks up the
// front window and tells its observer (the mouse recorder) the window's rectangle on the recorded
// screen whenever it changed. Owned by the recording coordinator; the observer is not owned and
// must outlive stopObserving(). Its thread calls the observer; the rest runs on the main thread.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace vtl {

class FrontWindowObserver {
public:
    virtual ~FrontWindowObserver() = default;
    // The rectangle relative to the recorded screen's bottom-left corner, y up, in points.
    virtual void rectOfFrontWindowChangedTo(Rect rect) = 0;
};

class WindowFrameReader {
public:
    // The front window's frame in global points, y up; nullopt when no window qualifies.
    using FrameSource = std::function<std::optional<Rect>()>;

    // `recordingScreenFrame`: the recorded screen in global points.
    WindowFrameReader(Rect recordingScreenFrame, FrameSource source);
    ~WindowFrameReader();
    WindowFrameReader(const WindowFrameReader&) = delete;
    WindowFrameReader& operator=(const WindowFrameReader&) = delete;

    void setFrameRate(int frameRate);
    void setFrontWindowObserver(FrontWindowObserver* observer);
    // Starts the thread that looks every 3 / frame rate seconds (once).
    void startObserving();
    // Ends the thread; no observer call runs after it returns.
    void stopObserving();
    // The next look reports its rectangle even when it did not change, and comes at once.
    void readWindowFrameOnce();
    // Looks up the front window now (what the thread does).
    void updateWindowList();
    Rect currentFrontWindowRect() const;
    bool isRunning() const;

private:
    void enterObserveThread();

    Rect screenFrame_;
    FrameSource source_;
    int frameRate_ = 30;
    FrontWindowObserver* observer_ = nullptr;

    mutable Mutex rectAccessMutex_;
    Rect currentRect_ VTL_GUARDED_BY(rectAccessMutex_);

    mutable std::mutex threadMutex_;
    std::condition_variable wake_;
    bool isRunning_ = false;
    bool isCancelled_ = false;
    bool ignoreEqualFrameOnce_ = false;
    bool signalled_ = false;
    std::thread thread_;
};

} // namespace vtl
