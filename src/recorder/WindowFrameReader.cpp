#include "recorder/WindowFrameReader.h"

#include <algorithm>
#include <chrono>

namespace vtl {

WindowFrameReader::WindowFrameReader(Rect recordingScreenFrame, FrameSource source)
    : screenFrame_(recordingScreenFrame)
    , source_(std::move(source)) {}

WindowFrameReader::~WindowFrameReader() {
    stopObserving();
}

void WindowFrameReader::setFrameRate(int frameRate) {
    frameRate_ = std::max(frameRate, 1);
}

void WindowFrameReader::setFrontWindowObserver(FrontWindowObserver* observer) {
    std::lock_guard lock(threadMutex_);
    observer_ = observer;
}

void WindowFrameReader::startObserving() {
    std::lock_guard lock(threadMutex_);
    if (thread_.joinable()) return;
    isCancelled_ = false;
    isRunning_ = true;
    thread_ = std::thread([this] { enterObserveThread(); });
}

void WindowFrameReader::stopObserving() {
    {
        std::lock_guard lock(threadMutex_);
        if (!thread_.joinable()) return;
        isCancelled_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::lock_guard lock(threadMutex_);
    isRunning_ = false;
}

bool WindowFrameReader::isRunning() const {
    std::lock_guard lock(threadMutex_);
    return isRunning_;
}

void WindowFrameReader::readWindowFrameOnce() {
    {
        std::lock_guard lock(threadMutex_);
        ignoreEqualFrameOnce_ = true;
        signalled_ = true;
    }
    wake_.notify_all();
}

Rect WindowFrameReader::currentFrontWindowRect() const {
    MutexLock lock(rectAccessMutex_);
    return currentRect_;
}

void WindowFrameReader::updateWindowList() {
    std::optional<Rect> frame = source_ ? source_() : std::nullopt;
    // With no window that qualifies the rectangle keeps its value.
    if (!frame) return;
    Rect screenBounds(0, 0, screenFrame_.width(), screenFrame_.height());
    Rect relative(frame->minX() - screenFrame_.minX(), frame->minY() - screenFrame_.minY(), frame->width(),
                  frame->height());
    double left = std::max(relative.minX(), 0.0), bottom = std::max(relative.minY(), 0.0);
    double right = std::min(relative.maxX(), screenBounds.width());
    double top = std::min(relative.maxY(), screenBounds.height());
    Rect clipped = right > left && top > bottom ? Rect(left, bottom, right - left, top - bottom) : Rect();
    MutexLock lock(rectAccessMutex_);
    currentRect_ = clipped;
}

void WindowFrameReader::enterObserveThread() {
    const auto interval = std::chrono::duration<double>(3.0 / frameRate_);
    std::unique_lock lock(threadMutex_);
    while (!isCancelled_) {
        wake_.wait_for(lock, interval, [this] { return isCancelled_ || signalled_; });
        signalled_ = false;
        if (isCancelled_) break;
        lock.unlock();
        Rect previous = currentFrontWindowRect();
        updateWindowList();
        Rect now = currentFrontWindowRect();
        lock.lock();
        if (isCancelled_) break;
        if (!ignoreEqualFrameOnce_ && now == previous) continue;
        ignoreEqualFrameOnce_ = false;
        FrontWindowObserver* observer = observer_;
        lock.unlock();
        Rect reported = now.width() > 0 && now.height() > 0
                            ? now
                            : Rect(0, 0, screenFrame_.width(), screenFrame_.height());
        if (observer) observer->rectOfFrontWindowChangedTo(reported);
        lock.lock();
    }
}

} // namespace vtl
