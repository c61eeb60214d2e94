#include "recorder/RecordingCoordinator.h"

#include "platform/capture/FrontWindow.h"
#include "platform/capture/PointerMonitor.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/foundation/VTLMallocPool.h"
#include "platform/ipc/DistributedNotificationCenter.h"
#include "platform/ipc/ScreenSaverInhibitor.h"
#include "platform/ipc/VistrelBusNames.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace vtl {

namespace fs = std::filesystem;

namespace {

constexpr int kMinimumFrameRate = 2;
constexpr int kMaximumFrameRate = 120;

RecordingCoordinatorServices withDefaults(RecordingCoordinatorServices services) {
    if (!services.clockSeconds) services.clockSeconds = [] { return monotonicSeconds(); };
    if (!services.screens) services.screens = [] { return listScreens(); };
    if (!services.makeScreenRecorder)
        services.makeScreenRecorder = [](RecordingCoordinator& coordinator,
                                         const ScreenRecorderOptions& options) {
            return createGrabberScreenRecorder(coordinator, options);
        };
    if (!services.scheduleAfter)
        services.scheduleAfter = [](double delaySeconds,
                                    std::function<void()> task) -> std::function<void()> {
            std::shared_ptr<DispatchTimer> timer = DispatchTimer::scheduleOnce(delaySeconds, std::move(task));
            return [timer] { timer->cancel(); };
        };
    if (!services.postNotification)
        services.postNotification = [](std::string_view name) {
            static DistributedNotificationCenter* center = new DistributedNotificationCenter();
            center->post(name);
        };
    if (!services.suppressScreenSaver)
        services.suppressScreenSaver = [](bool hold) {
            static ScreenSaverInhibitor* inhibitor = new ScreenSaverInhibitor();
            std::string error;
            bool ok =
                hold ? inhibitor->inhibit("Vistrel", "Vistrel Recording", error) : inhibitor->release(error);
            if (!ok) logMessage(error);
            return ok;
        };
    if (!services.makeMouseRecorder)
        services.makeMouseRecorder = [](RecordingCoordinator& coordinator, int frameRate) {
            Result<std::unique_ptr<PointerMonitor>> monitor = openPointerMonitor();
            if (!monitor) logMessage("The pointer cannot be followed: " + monitor.error());
            return std::make_unique<MouseRecorder>(coordinator, coordinator,
                                                   monitor ? std::move(monitor).value() : nullptr, frameRate);
        };
    if (!services.makeFrontWindowSource)
        services.makeFrontWindowSource = []() -> WindowFrameReader::FrameSource {
            auto finder = FrontWindowFinder::open(nullptr, currentProcessID());
            if (!finder) {
                logMessage("The front window cannot be followed: " + finder.error());
                return {};
            }
            std::shared_ptr<FrontWindowFinder> shared(std::move(finder).value());
            return [shared] { return shared->frontWindowFrame(); };
        };
    return services;
}

template <typename T> void eraseValue(std::vector<T>& items, const T& value) {
    items.erase(std::remove(items.begin(), items.end(), value), items.end());
}

template <typename T> bool containsValue(const std::vector<T>& items, const T& value) {
    return std::find(items.begin(), items.end(), value) != items.end();
}

} // namespace

RecordingCoordinator::RecordingCoordinator(RecordingCoordinatorDelegate& delegate, Services services)
    : delegate_(delegate)
    , services_(withDefaults(std::move(services))) {}

RecordingCoordinator::~RecordingCoordinator() {
    if (statusItemTimer_) statusItemTimer_->cancel();
    if (cancelTimeout_) cancelTimeout_();
    if (cancelStartWait_) cancelStartWait_();
    if (cancelSilentCheck_) cancelSilentCheck_();
    if (holdsScreenSaver_) services_.suppressScreenSaver(false);
    // A recording still running when the program ends is stopped so its threads end before the
    // encode queue goes; its files then hold every complete frame.
    if (screenRecorder_ && state_ != State::done && state_ != State::created) screenRecorder_->stopRecord();
    windowFrameReader_.reset();
    screenRecorder_.reset();
    otherRecorders_.clear();
    additionalAudioVideoWriter_.reset();
    iosDeviceWriter_.reset();
}

void RecordingCoordinator::onMainThread(std::function<void()> task) {
    std::weak_ptr<int> alive = lifetime_;
    DispatchQueue::mainQueue()->async([alive, task = std::move(task)] {
        if (alive.lock()) task();
    });
}

std::function<void()> RecordingCoordinator::scheduleGuarded(double delaySeconds, std::function<void()> task) {
    std::weak_ptr<int> alive = lifetime_;
    return services_.scheduleAfter(delaySeconds, [alive, task = std::move(task)] {
        if (alive.lock()) task();
    });
}

void RecordingCoordinator::releasePreparedParts() {
    windowFrameReader_.reset();
    desktopCover_.reset();
    externalISightWindow_.reset();
    mouseRecorder_ = nullptr;
    if (screenRecorder_) screenRecorder_->stopRecord();
    screenRecorder_.reset();
    otherRecorders_.clear();
    systemAudioRecorder_ = nullptr;
    cameraRecorder_ = nullptr;
    iosRecorder_ = nullptr;
    additionalAudioVideoWriter_.reset();
    iosDeviceWriter_.reset();
}

Failure RecordingCoordinator::failPrepare(std::string message) {
    releasePreparedParts();
    if (createdPackageFolder_) {
        std::error_code ignored;
        fs::remove_all(recordPath_, ignored);
        createdPackageFolder_ = false;
    }
    logMessage(message);
    return fail(std::move(message));
}

Status RecordingCoordinator::prepareWithInfoDictionary(const PropertyList& info) {
    if (state_ != State::created) return fail("This recording has already been prepared.");
    std::vector<std::string> problems;
    RecordingSettings settings = RecordingSettings::fromDictionary(info, problems);
    for (const std::string& problem : problems)
        logMessage(problem);

    if (settings.recordMode == RecordMode::IOSDevice) return prepareIOSDevice(settings);
    if (!isKnownRecordMode(settings.recordMode))
        return failPrepare("The record mode " + std::to_string(static_cast<int>(settings.recordMode)) +
                           " is unknown.");
    if (settings.frameRate < kMinimumFrameRate || settings.frameRate > kMaximumFrameRate)
        return failPrepare("The frame rate " + std::to_string(settings.frameRate) + " cannot be recorded.");
    if (!isKnownRecordQuality(settings.recordQuality)) {
        logMessage("The record quality " + std::to_string(static_cast<int>(settings.recordQuality)) +
                   " is unknown; 2 is used.");
        settings.recordQuality = RecordQuality::High;
    }
    if (settings.path.empty() || !fs::path(settings.path).is_absolute())
        return failPrepare("The recording has no absolute package path.");

    // The screen and the area on it.
    Result<std::vector<ScreenDescription>> screens = services_.screens();
    if (!screens) return failPrepare("The screens cannot be listed: " + screens.error());
    if (screens->empty()) return failPrepare("The screens cannot be listed: there are none.");
    if (settings.recordScreenIndex < 0 ||
        static_cast<std::size_t>(settings.recordScreenIndex) >= screens->size())
        return failPrepare("There is no screen " + std::to_string(settings.recordScreenIndex) + ".");
    screen_ = (*screens)[static_cast<std::size_t>(settings.recordScreenIndex)];
    referenceScreenFrame_ = screens->front().frame;
    scaling_ = static_cast<float>(screen_.backingScaleFactor);
    const Rect screenBounds(0, 0, screen_.frame.width(), screen_.frame.height());
    Rect area = screenBounds;
    if (!(settings.recordMode == RecordMode::FullScreen && settings.recordRect.isEmpty()))
        area = Rect(settings.recordRect.minX() - screen_.frame.minX(),
                    settings.recordRect.minY() - screen_.frame.minY(), settings.recordRect.width(),
                    settings.recordRect.height());
    // Only what lies on the screen can be recorded, in whole points.
    double left = std::max(std::floor(area.minX()), 0.0), bottom = std::max(std::floor(area.minY()), 0.0);
    double right = std::min(std::floor(area.maxX()), screenBounds.width());
    double top = std::min(std::floor(area.maxY()), screenBounds.height());
    if (right - left < 1 || top - bottom < 1)
        return failPrepare("The area to record " + stringFromRect(settings.recordRect) +
                           " does not lie on the screen.");
    area_ = Rect(left, bottom, right - left, top - bottom);
    settings_ = settings;

    if (Status made = createPackageFolder(settings); !made) return made;

    ScreenRecorderOptions options;
    options.frameRate = settings.frameRate;
    options.recordMode = settings.recordMode;
    options.recordQuality = settings.recordQuality;
    options.windowNumber = settings.windowNumber;
    auto screenRecorder = services_.makeScreenRecorder(*this, options);
    if (!screenRecorder) return failPrepare("The screen cannot be recorded: " + screenRecorder.error());
    if (!*screenRecorder) return failPrepare("The screen cannot be recorded.");
    screenRecorder_ = std::move(screenRecorder).value();

    if (!settings.mouseVisualization.empty()) {
        auto decoded = MouseVisualization::unarchive(settings.mouseVisualization);
        if (decoded)
            mouseVisualization_ = decoded.value();
        else
            logMessage("The mouse visualization of the recording cannot be read: " + decoded.error());
    }
    prepareMouseAndOverlays();
    prepareAudioAndVideo(settings);

    {
        std::lock_guard lock(mutex_);
        recorders_.push_back(screenRecorder_.get());
        allRecorders_.push_back(screenRecorder_.get());
        for (auto& recorder : otherRecorders_)
            recorders_.push_back(recorder.get());
        pendingRecorders_ = recorders_;
    }
    Rect physical = physicalAreaOnRecordingScreenRect();
    VTLMallocPool::sharedInstance().setMaxMemory(static_cast<std::uint64_t>(settings.frameRate) *
                                                 static_cast<std::uint64_t>(physical.width()) *
                                                 static_cast<std::uint64_t>(physical.height()));
    setUpStatusItem(settings);
    state_ = State::prepared;
    return {};
}

Status RecordingCoordinator::createPackageFolder(const RecordingSettings& settings) {
    // The package folder; its parent must exist, and an earlier recording is never replaced.
    recordPath_ = settings.recordPath();
    std::error_code ec;
    if (fs::exists(recordPath_, ec)) {
        if (!fs::is_directory(recordPath_, ec) || !fs::is_empty(recordPath_, ec))
            return failPrepare("Something is already stored at " + recordPath_ + ".");
    } else {
        if (!fs::create_directory(recordPath_, ec))
            return failPrepare("The recording folder " + recordPath_ + " cannot be created: " + ec.message());
        createdPackageFolder_ = true;
    }
    return {};
}

void RecordingCoordinator::setUpStatusItem(const RecordingSettings& settings) {
    if (settings.showStatusItem && services_.makeStatusItem) {
        RecorderStatusItemActions actions;
        std::weak_ptr<int> alive = lifetime_;
        actions.stop = [this, alive] {
            if (alive.lock()) stopRecording();
        };
        actions.pause = [this, alive] {
            if (alive.lock()) pauseRecording();
        };
        actions.resume = [this, alive] {
            if (alive.lock()) resumeRecording();
        };
        statusItem_ = services_.makeStatusItem(std::move(actions));
        if (statusItem_ && settings.recorderDisplayMode != RecorderDisplayMode::Nothing) {
            statusItem_->setTitle("");
            statusItemTimer_ = DispatchTimer::scheduleRepeating(1.0, [this, alive] {
                if (alive.lock()) updateStatusItem();
            });
        }
    }
}

void RecordingCoordinator::prepareMouseAndOverlays() {
    const RecordingSettings& settings = settings_;
    if (services_.makeMouseRecorder) {
        std::unique_ptr<MouseRecorder> mouse = services_.makeMouseRecorder(*this, settings.frameRate);
        if (mouse) {
            mouse->setMouseVisualization(settings.mouseVisualization,
                                         mouseVisualization_ ? mouseVisualization_->visualizesClicks : true);
            mouse->setRecordMouseTrack(settings.recordMouse);
            mouse->setButtonNames(settings.buttonNames);
            mouseRecorder_ = mouse.get();
            otherRecorders_.push_back(std::move(mouse));
        }
    }
    if (settings.recordMode == RecordMode::FullScreen && mouseRecorder_) {
        windowFrameReader_ = std::make_unique<WindowFrameReader>(
            screen_.frame, services_.makeFrontWindowSource ? services_.makeFrontWindowSource() : nullptr);
        windowFrameReader_->setFrameRate(settings.frameRate);
        windowFrameReader_->setFrontWindowObserver(mouseRecorder_);
        windowFrameReader_->startObserving();
    }

    if (!settings.desktopFillColor.empty()) {
        std::string text(settings.desktopFillColor.begin(), settings.desktopFillColor.end());
        if (auto color = parseDesktopFillColor(text))
            desktopFillColor_ = *color;
        else
            logMessage("The desktop colour \"" + text +
                       "\" cannot be read; the desktop is covered in black.");
    }
    if (settings.hideDesktop) {
        if (!services_.makeDesktopCover) {
            logMessage("The desktop is not covered while recording.");
        } else {
            DesktopCoverOptions cover;
            cover.screenX11 = screen_.x11Frame;
            cover.color = desktopFillColor_;
            cover.hideIcons = settings.hideDesktopIcons;
            cover.imagePath = settings.desktopBackgroundImage;
            cover.stretchMode = settings.desktopImageStretchMode;
            desktopCover_ = services_.makeDesktopCover(cover);
        }
    }
}

Rect RecordingCoordinator::areaX11() const {
    return Rect(screen_.x11Frame.minX() + area_.minX(),
                screen_.x11Frame.minY() + screen_.frame.height() - area_.minY() - area_.height(),
                area_.width(), area_.height());
}

void RecordingCoordinator::updateStatusItem() {
    if (!statusItem_) return;
    std::optional<double> elapsed;
    double start = recordStartTime_.load();
    // While paused the time stands still.
    if (start != 0) elapsed = (isPaused() ? pauseStartTime_ : now()) - start;
    statusItem_->setTitle(
        recorderStatusTitle(settings_.recorderDisplayMode, elapsed, sizeOfEntireRecordingSoFar()));
}

Rect RecordingCoordinator::physicalAreaOnRecordingScreenRect() const {
    if (scaling_ == 1.0f) return area_;
    return Rect(area_.minX() * scaling_, area_.minY() * scaling_, area_.width() * scaling_,
                area_.height() * scaling_);
}

Point RecordingCoordinator::unscaledRecordingScreenPoint(Point point) const {
    if (scaling_ == 1.0f) return point;
    return Point{point.x * scaling_, point.y * scaling_};
}

Point RecordingCoordinator::convertPointFromCarbonCoordinatesToMovieCoordinates(Point point) const {
    const Rect& screen = screen_.frame;
    const Rect& ref = referenceScreenFrame_;
    // The area is kept y up from the screen's bottom, so the point's height above the screen's
    // bottom less the area's bottom is its height in the area.
    float x = static_cast<float>(point.x - screen.minX() - area_.minX());
    float refTop = static_cast<float>(ref.minY() + ref.height());
    float y = refTop - static_cast<float>(point.y) - static_cast<float>(screen.minY()) -
              static_cast<float>(area_.minY());
    if (scaling_ == 1.0f) return Point{x, y};
    return Point{x * scaling_, y * scaling_};
}

std::uint64_t RecordingCoordinator::sizeOfEntireRecordingSoFar() const {
    std::uint64_t bytes = sizeOfAdditionalAudioAndVideo() + sizeOfSystemAudio();
    if (screenRecorder_) bytes += screenRecorder_->bytesWrittenSoFar();
    return bytes;
}

void RecordingCoordinator::startAudioRouting() {
    if (state_ == State::prepared) startSystemAudioRouting();
}

void RecordingCoordinator::startRecording() {
    if (state_ != State::prepared) {
        logMessage("The recording cannot be started: it is not prepared or has started already.");
        return;
    }
    state_ = State::started;
    startSystemAudioRouting();
    cancelSilentCheck_ = scheduleGuarded(kSilentRecorderSeconds, [this] {
        cancelSilentCheck_ = nullptr;
        leaveOutSilentRecorders();
    });
    std::vector<Recorder*> recorders;
    {
        std::lock_guard lock(mutex_);
        recorders = recorders_;
    }
    for (Recorder* recorder : recorders)
        recorder->startProcessQueue();
    for (Recorder* recorder : recorders)
        recorder->startRecord();
}

bool RecordingCoordinator::recorderStartedProducingData(VTL3RecordImageGrabber&) {
    return screenRecorder_ ? recorderStartedProducingData(*screenRecorder_) : false;
}

void RecordingCoordinator::recorderDone(VTL3RecordImageGrabber&) {
    if (screenRecorder_) recorderDone(*screenRecorder_);
}

bool RecordingCoordinator::recorderStartedProducingData(Recorder& recorder) {
    std::lock_guard lock(mutex_);
    if (realStartTriggered_) return true;
    if (containsValue(pendingRecorders_, &recorder)) {
        eraseValue(pendingRecorders_, &recorder);
        if (!containsValue(allRecorders_, &recorder)) allRecorders_.push_back(&recorder);
    }
    if (!pendingRecorders_.empty()) return false;
    realStartTriggered_ = true;
    startMovieWritersLocked();
    recordStartTime_.store(now());
    onMainThread([this] { startRealRecordOnMainThread(); });
    return true;
}

void RecordingCoordinator::startRealRecordOnMainThread() {
    std::vector<Recorder*> recorders;
    {
        std::lock_guard lock(mutex_);
        // A stop that gave up waiting has finished the recording already.
        if (state_ != State::started) return;
        state_ = State::running;
        recorders = allRecorders_;
    }
    if (cancelStartWait_) {
        cancelStartWait_();
        cancelStartWait_ = nullptr;
    }
    if (cancelSilentCheck_) {
        cancelSilentCheck_();
        cancelSilentCheck_ = nullptr;
    }
    // Every recorder counts from the start decided when the last one delivered, not from when
    // this call reaches it.
    const double start = recordStartTime_.load();
    for (Recorder* recorder : recorders)
        recorder->setWriteToMovieAt(start);
    if (windowFrameReader_) windowFrameReader_->readWindowFrameOnce();
    if (settings_.showRecordAreaWhileRecording) {
        if (services_.makeRecordAreaFrame)
            recordAreaFrame_ =
                services_.makeRecordAreaFrame(RecordAreaFrameOptions{screen_.x11Frame, areaX11()});
        else
            logMessage("The recorded area is not framed while recording.");
    }
    if (settings_.suppressScreensaver) {
        holdsScreenSaver_ = services_.suppressScreenSaver(true);
        if (!holdsScreenSaver_) logMessage("The screen saver cannot be suppressed during the recording.");
    }
    if (settings_.recordTimeoutSeconds > 0)
        cancelTimeout_ = scheduleGuarded(settings_.recordTimeoutSeconds, [this] { stopRecording(); });
    if (stopWanted_) stopRecording();
}

void RecordingCoordinator::pauseResumeRecord() {
    promotePaused(!isPaused());
}

void RecordingCoordinator::promotePaused(bool paused) {
    if (!isMainThread()) {
        onMainThread([this, paused] { promotePaused(paused); });
        return;
    }
    // Only a running recording has a time base to pause.
    if (state_ != State::running) return;
    if (paused == isPaused()) return;
    double time = now();
    if (paused) {
        pauseStartTime_ = time;
        services_.postNotification(kRemoteRecorderDidPauseNotification);
        pauseTimes_.beginPause(time - recordStartTime_.load());
    } else {
        services_.postNotification(kRemoteRecorderDidResumeNotification);
    }
    if (statusItem_) statusItem_->setPaused(paused);
    if (!paused && iosRecorder_) {
        // The device resumes at its next sync picture, which completes the resume (unpause).
        waitingToBeUnpaused_ = true;
        delegate_.setWaitingForUnpause(true);
        return;
    }
    applyPaused(paused, time);
}

void RecordingCoordinator::applyPaused(bool paused, double time) {
    if (!paused) {
        recordStartTime_.store(recordStartTime_.load() + (time - pauseStartTime_));
        pauseTimes_.endPause(time - pauseStartTime_);
    }
    currentlyPaused_ = paused;
    std::vector<Recorder*> recorders;
    {
        std::lock_guard lock(mutex_);
        recorders = recorders_;
    }
    for (Recorder* recorder : recorders)
        recorder->setPausedAt(paused, time);
}

bool RecordingCoordinator::unpause() {
    if (!waitingToBeUnpaused_.exchange(false)) return false;
    // The device's thread asks; the bookkeeping happens on the main thread with this moment's time.
    const double time = now();
    resumeWaiting_ = true;
    onMainThread([this, time] {
        resumeWaiting_ = false;
        applyPaused(false, time);
        delegate_.setWaitingForUnpause(false);
    });
    return true;
}

void RecordingCoordinator::iOSRecordingResolutionChangeToSize(Size sizePixels) {
    const double time = now();
    onMainThread(
        [this, time, sizePixels] { pauseTimes_.addSizeChange(time - recordStartTime_.load(), sizePixels); });
}

void RecordingCoordinator::stopRecording() {
    if (!isMainThread()) {
        onMainThread([this] { stopRecording(); });
        return;
    }
    std::unique_lock lock(mutex_);
    if (state_ == State::created || state_ == State::prepared || state_ == State::stopping ||
        state_ == State::done)
        return;
    if (state_ == State::started) {
        // No real start yet: wait for it, but not for ever.
        stopWanted_ = true;
        if (!cancelStartWait_)
            cancelStartWait_ = scheduleGuarded(kStartWaitSeconds, [this] {
                cancelStartWait_ = nullptr;
                if (state_ != State::started) return;
                logMessage("Not every recorder delivered data; the recording stops without them.");
                performStop();
            });
        return;
    }
    double elapsed = now() - recordStartTime_.load();
    if (elapsed < kMinimumRecordingSeconds) {
        if (!stopPerformSet_) {
            stopPerformSet_ = true;
            // The put-off stop happens whatever the clock says then (a pause in between must not
            // make it wait again and lose it).
            scheduleGuarded(kMinimumRecordingSeconds - elapsed, [this] {
                if (state_ == State::running) performStop();
            });
        }
        return;
    }
    lock.unlock();
    performStop();
}

void RecordingCoordinator::stopRecordingAfterFailure(const std::string& reason) {
    if (!isMainThread()) {
        onMainThread([this, reason] { stopRecordingAfterFailure(reason); });
        return;
    }
    // Only the first reason is shown: what follows from it adds nothing.
    if (!failureReported_) {
        failureReported_ = true;
        delegate_.presentRecordError(reason);
    }
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::started && state_ != State::running) return;
    }
    // Every frame from here on would be lost: no minimum length, no waiting for a real start.
    performStop();
}

void RecordingCoordinator::performStop() {
    std::vector<Recorder*> recorders;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::stopping || state_ == State::done) return;
        state_ = State::stopping;
        recorders = recorders_;
    }
    // One end for every recorder: stopping one (the screen waits for its capture thread) must not
    // move the end of those stopped after it.
    const double stopTime = now();
    if (cancelTimeout_) {
        cancelTimeout_();
        cancelTimeout_ = nullptr;
    }
    if (cancelStartWait_) {
        cancelStartWait_();
        cancelStartWait_ = nullptr;
    }
    if (cancelSilentCheck_) {
        cancelSilentCheck_();
        cancelSilentCheck_ = nullptr;
    }
    for (Recorder* recorder : recorders)
        recorder->stopRecordAt(stopTime);
    delegate_.unregisterHotkeys();
    if (externalISightWindow_) externalISightWindow_->hide();
    // The follower reports into the mouse recorder's lists: it ends before they are written.
    if (windowFrameReader_) windowFrameReader_->stopObserving();
    if (services_.makeWaitWindow) waitWindow_ = services_.makeWaitWindow();
    delegate_.showFinishingRecord();
    for (Recorder* recorder : recorders)
        recorder->finishPendingFrames();
    if (mouseRecorder_) {
        Status written = mouseRecorder_->writeFilesToPackage(recordPath_);
        if (!written) logMessage(written.error());
    }
    desktopCover_.reset();
    recordAreaFrame_.reset();
    if (holdsScreenSaver_) {
        if (!services_.suppressScreenSaver(false)) logMessage("The screen saver could not be let go again.");
        holdsScreenSaver_ = false;
    }
    finishMovieWriters([this] { finishRecordings(); });
}

void RecordingCoordinator::finishRecordings() {
    std::vector<Recorder*> recorders;
    {
        std::lock_guard lock(mutex_);
        recorders = recorders_;
    }
    for (Recorder* recorder : recorders)
        recorder->finalizeRecord();
}

void RecordingCoordinator::recorderDone(Recorder& recorder) {
    if (!isMainThread()) {
        onMainThread([this, &recorder] { recorderDone(recorder); });
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (!containsValue(recorders_, &recorder)) return;
        eraseValue(recorders_, &recorder);
        if (!recorders_.empty()) return;
    }
    // A pause still open at the end is not stored.
    Status written = pauseTimes_.writeToPackage(recordPath_);
    if (!written) logMessage("The pause list cannot be written: " + written.error());
    services_.postNotification(kMovieFinishedNotification);

    // A recording stopped by an error (a full or nearly full disk) still holds what was recorded
    // up to then: the main application gets that with the error, so it can open it.
    std::optional<PropertyList> doneInfo;
    double duration = screenRecorder_ ? screenRecorder_->durationSeconds() : 0;
    std::optional<Size> size = screenRecorder_ ? screenRecorder_->sizePixels() : std::nullopt;
    if (settings_.recordMode == RecordMode::IOSDevice) iOSDeviceMovieFacts(duration, size);
    if (errorToShow() == 0 || duration > 0) {
        doneInfo =
            doneInfoDictionary(duration, static_cast<unsigned>(static_cast<int>(settings_.recordMode)), size);
    }
    state_ = State::done;
    waitWindow_.reset();
    if (statusItemTimer_) statusItemTimer_->cancel();
    statusItemTimer_.reset();
    if (statusItem_) {
        // The stop may have come from the item's own menu, which is still delivering that choice:
        // the item goes once the main thread is back from it.
        std::shared_ptr<RecorderStatusItem> finished(std::move(statusItem_));
        DispatchQueue::mainQueue()->async([finished] {});
    }
    delegate_.doneRecordingWithInfo(doneInfo);
}

void RecordingCoordinator::discardPreparedRecording() {
    if (state_ != State::prepared) return;
    {
        std::lock_guard lock(mutex_);
        recorders_.clear();
        allRecorders_.clear();
        pendingRecorders_.clear();
    }
    releasePreparedParts();
    if (statusItemTimer_) statusItemTimer_->cancel();
    statusItemTimer_.reset();
    statusItem_.reset();
    std::error_code ignored;
    if (createdPackageFolder_) {
        fs::remove_all(recordPath_, ignored);
        createdPackageFolder_ = false;
    } else {
        std::vector<fs::path> made;
        for (const fs::directory_entry& entry : fs::directory_iterator(recordPath_, ignored))
            made.push_back(entry.path());
        for (const fs::path& path : made)
            fs::remove_all(path, ignored);
    }
    state_ = State::created;
}

void RecordingCoordinator::stopObservingAndSession() {
    if (windowFrameReader_) windowFrameReader_->stopObserving();
}

void RecordingCoordinator::setPlayIOSAudio(bool on) {
    if (iosRecorder_) iosRecorder_->setForwardAudio(on);
}

void RecordingCoordinator::setPlayIOSVideo(bool on) {
    if (iosRecorder_) iosRecorder_->setForwardVideo(on);
    if (!on) delegate_.setSurfaceID(0);
}

} // namespace vtl
