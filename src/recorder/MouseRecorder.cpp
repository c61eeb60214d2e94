#include "recorder/MouseRecorder.h"

#include "objects/MouseVisualization.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/tiff/TiffCodec.h"
#include "recorder/format/MouseFileKeys.h"
#include "recorder/format/RecordingFormat.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <utility>

namespace vtl {

namespace keys = mouse_keys;

namespace {

int signOf(int value) {
    return (value > 0) - (value < 0);
}

// The digest tells pictures apart; the size goes in too, so two pictures with the same bytes in
// other shapes differ.
Md5Digest cursorDigest(const CursorImage& image) {
    std::vector<std::uint8_t> bytes(8 + image.rgba.size());
    std::uint32_t size[2] = {static_cast<std::uint32_t>(image.width),
                             static_cast<std::uint32_t>(image.height)};
    std::memcpy(bytes.data(), size, 8);
    if (!image.rgba.empty()) std::memcpy(bytes.data() + 8, image.rgba.data(), image.rgba.size());
    return md5Digest(bytes);
}

} // namespace

MouseRecorder::MouseRecorder(RecorderDelegate& delegate, MouseRecorderCoordinator& coordinator,
                             std::unique_ptr<PointerMonitor> monitor, int frameRate, TickSource tickSource)
    : delegate_(delegate)
    , coordinator_(coordinator)
    , monitor_(std::move(monitor))
    , frameRate_(std::max(frameRate, 1))
    , tickSource_(tickSource) {}

MouseRecorder::~MouseRecorder() {
    stopRecord();
}

void MouseRecorder::setMouseVisualization(PlistBytes archive, bool visualizesClicks) {
    visualizationArchive_ = std::move(archive);
    visualizesClicks_ = visualizesClicks;
}

void MouseRecorder::startRecord() {
    if (isRunning_.exchange(true)) return;
    if (monitor_) {
        if (!monitor_->reportsButtons())
            logMessage(
                "The pointer's buttons cannot be seen on this display; only its positions are recorded.");
        if (!monitor_->reportsCursors())
            logMessage("The cursor's pictures cannot be read on this display; none are recorded.");
        monitor_->start([this](const PointerButtonEvent& event) { onButton(event); });
    } else {
        logMessage("The pointer cannot be followed without a display; the recording has no pointer data.");
    }
    if (tickSource_ != TickSource::OwnThread) return;
    std::lock_guard lock(tickControlMutex_);
    tickStopRequested_ = false;
    tickThread_ = std::thread([this] { tickLoop(); });
}

void MouseRecorder::stopRecord() {
    isRunning_.store(false);
    if (monitor_) monitor_->stop();
    {
        std::lock_guard lock(tickControlMutex_);
        tickStopRequested_ = true;
    }
    tickWake_.notify_all();
    if (tickThread_.joinable()) tickThread_.join();
}

void MouseRecorder::finalizeRecord() {
    delegate_.recorderDone(*this);
}

double MouseRecorder::recordingTime() const {
    return coordinator_.recordingClockSeconds() - coordinator_.recordStartTime();
}

Point MouseRecorder::lastKnownMousePosition() const {
    MutexLock lock(positionMutex_);
    return lastKnownMousePosition_;
}

void MouseRecorder::setLastKnownMousePosition(Point point) {
    MutexLock lock(positionMutex_);
    lastKnownMousePosition_ = point;
}

void MouseRecorder::onButton(const PointerButtonEvent& event) {
    if (event.kind == PointerButtonEvent::Kind::Wheel) {
        // A wheel step keeps the last known position.
        handleMouseEvent(MouseClick(lastKnownMousePosition(), MouseClick::kWheel, -1, event.wheelX,
                                    event.wheelY, 0, coordinator_.recordingClockSeconds()));
        return;
    }
    if (std::optional<Point> location = monitor_ ? monitor_->pointerLocation() : std::nullopt) {
        setLastKnownMousePosition(
            coordinator_.convertPointFromCarbonCoordinatesToMovieCoordinates(*location));
        eventPositions_.fetch_add(1);
    }
    std::uint32_t type =
        event.kind == PointerButtonEvent::Kind::Down ? MouseClick::kButtonDown : MouseClick::kButtonUp;
    handleMouseEvent(MouseClick(lastKnownMousePosition(), type, event.button, 0, 0, 1,
                                coordinator_.recordingClockSeconds()));
}

void MouseRecorder::handleMouseEvent(const MouseClick& click) {
    if (!recording()) return;
    PlistDictionary entry;
    entry.set(std::string(keys::kPoint), stringFromPoint(lastKnownMousePosition()));
    entry.set(std::string(keys::kTime), click.time() - coordinator_.recordStartTime());
    entry.set(std::string(keys::kEventType), static_cast<std::int64_t>(click.eventType()));
    entry.set(std::string(keys::kButton), static_cast<std::int64_t>(click.button()));
    if (click.button() == -1) {
        entry.set(std::string(keys::kWheelX), static_cast<float>(click.wheelX()));
        entry.set(std::string(keys::kWheelY), static_cast<float>(click.wheelY()));
    }
    MutexLock lock(eventsMutex_);
    mouseEvents_.push_back(PropertyList(std::move(entry)));

    if (click.eventType() == MouseClick::kButtonDown && !mouseClicks_.empty()) {
        const MouseClick& last = mouseClicks_.back();
        if (click.time() - last.time() < kMultipleClickSeconds && last.button() == click.button() &&
            last.eventType() == click.eventType()) {
            MouseClick repeated(click.point(), click.eventType(), click.button(), 0, 0, last.clickCount() + 1,
                                click.time());
            mouseClicks_.back() = repeated;
            return;
        }
    }
    if (click.eventType() == MouseClick::kButtonUp) return;
    if (click.eventType() == MouseClick::kWheel) {
        // Only the latest step of each direction stays listed.
        mouseClicks_.erase(std::remove_if(mouseClicks_.begin(), mouseClicks_.end(),
                                          [&](const MouseClick& listed) {
                                              return listed.eventType() == MouseClick::kWheel &&
                                                     signOf(listed.wheelX()) == signOf(click.wheelX()) &&
                                                     signOf(listed.wheelY()) == signOf(click.wheelY());
                                          }),
                           mouseClicks_.end());
    }
    mouseClicks_.push_back(click);
}

std::vector<MouseClick> MouseRecorder::mouseClicks() const {
    MutexLock lock(eventsMutex_);
    return mouseClicks_;
}

void MouseRecorder::tickLoop() {
    using Clock = std::chrono::steady_clock;
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / frameRate_));
    auto next = Clock::now() + std::chrono::milliseconds(1);
    std::unique_lock lock(tickControlMutex_);
    while (!tickStopRequested_) {
        if (tickWake_.wait_until(lock, next, [this] { return tickStopRequested_; })) break;
        lock.unlock();
        renderMouse();
        lock.lock();
        // A late tick is not made up for with a burst.
        next += interval;
        auto now = Clock::now();
        if (next < now) next = now + interval;
    }
}

void MouseRecorder::renderMouse() {
    // The start never waits for the pointer: the first tick is this recorder's data.
    if (!hasNotifiedAboutData_.exchange(true)) delegate_.recorderStartedProducingData(*this);
    if (!monitor_) return;
    // The location asked for at the previous tick arrives now, without waiting for the display;
    // it is stored with the time it was asked for.
    std::optional<Point> sampled = monitor_->pipelinedPointerLocation();
    std::optional<double> sampleTime = std::exchange(sampleTime_, std::nullopt);
    std::uint64_t eventPositionsThen = sampleEventPositions_;
    if (!recording()) return;
    sampleTime_ = recordingTime();
    sampleEventPositions_ = eventPositions_.load();
    if (!sampled || !sampleTime) {
        if (std::optional<CursorImage> image = monitor_->cursorImageIfChanged()) recordCursor(*image);
        return;
    }
    Point position = coordinator_.convertPointFromCarbonCoordinatesToMovieCoordinates(*sampled);
    // A button event since then has a newer location.
    if (eventPositions_.load() == eventPositionsThen) setLastKnownMousePosition(position);
    double time = *sampleTime;
    {
        MutexLock lock(tickMutex_);
        if (!lastRecordedMousePosition_ || *lastRecordedMousePosition_ != position) {
            PlistDictionary entry;
            entry.set(std::string(keys::kPoint), stringFromPoint(position));
            entry.set(std::string(keys::kTime), time);
            mousePositions_.push_back(PropertyList(std::move(entry)));
            lastRecordedMousePosition_ = position;
        }
    }
    if (std::optional<CursorImage> image = monitor_->cursorImageIfChanged()) recordCursor(*image);
}

void MouseRecorder::recordCursor(const CursorImage& image) {
    if (image.width < 1 || image.height < 1) return;
    Md5Digest digest = cursorDigest(image);
    bool visible = image.isVisible();
    MutexLock lock(tickMutex_);
    if (previousCursorHashData_ && *previousCursorHashData_ == digest && cursorWasVisible_ == visible) return;
    auto known = mouseCursorHashDictionary_.find(digest);
    if (known == mouseCursorHashDictionary_.end()) {
        Result<std::vector<std::uint8_t>> tiff = encodeTiff(TiffImage{image.width, image.height, image.rgba});
        if (!tiff) {
            logMessage("A cursor picture cannot be stored: " + tiff.error());
            return;
        }
        known = mouseCursorHashDictionary_.emplace(digest, std::move(tiff).value()).first;
    }
    previousCursorHashData_ = digest;
    cursorWasVisible_ = visible;
    PlistDictionary entry;
    entry.set(std::string(keys::kTime), recordingTime());
    entry.set(std::string(keys::kMouseTIFFData), PropertyList(known->second));
    entry.set(std::string(keys::kHotspot), stringFromPoint(image.hotSpot));
    entry.set(std::string(keys::kCursorVisible), visible);
    mouseCursorImages_.push_back(PropertyList(std::move(entry)));
}

void MouseRecorder::rectOfFrontWindowChangedTo(Rect rect) {
    if (!recording()) return;
    float scale = coordinator_.recordingScreenScaling();
    // The size in pixels, the origin as the follower gives it.
    Rect stored(rect.minX(), rect.minY(), rect.width() * scale, rect.height() * scale);
    PlistDictionary entry;
    entry.set(std::string(keys::kFocusRect), stringFromRect(stored));
    entry.set(std::string(keys::kTime), recordingTime());
    MutexLock lock(focusMutex_);
    focusWindowRects_.push_back(PropertyList(std::move(entry)));
}

PropertyList MouseRecorder::mouseFileContents() const {
    PlistDictionary root;
    root.set(std::string(keys::kMouseVisible), recordMouseTrack_);
    root.set(std::string(keys::kEventsVisible), visualizesClicks_);
    {
        MutexLock lock(tickMutex_);
        root.set(std::string(keys::kMousePositions), PropertyList(mousePositions_));
    }
    {
        MutexLock lock(eventsMutex_);
        root.set(std::string(keys::kMouseEvents), PropertyList(mouseEvents_));
    }
    {
        MutexLock lock(tickMutex_);
        root.set(std::string(keys::kMouseCursorImages), PropertyList(mouseCursorImages_));
    }
    {
        MutexLock lock(focusMutex_);
        root.set(std::string(keys::kFocusWindowRects), PropertyList(focusWindowRects_));
    }
    return PropertyList(std::move(root));
}

Status MouseRecorder::writePositionToFile(const std::string& path) const {
    return mouseFileContents().writeToFile(path, PropertyListFormat::Xml);
}

Status MouseRecorder::writeMouseVisualizationToFile(const std::string& path) const {
    PlistBytes bytes = visualizationArchive_;
    if (bytes.empty() || !MouseVisualization::unarchive(bytes)) {
        if (!bytes.empty())
            logMessage("The recording's mouse visualization cannot be read; the default style is stored.");
        Result<PlistBytes> fallback = MouseVisualization().archivedData();
        if (!fallback) return fail("The mouse visualization cannot be stored: " + fallback.error());
        bytes = std::move(fallback).value();
    }
    return writeFileAtomically(path, bytes);
}

Status MouseRecorder::writeFilesToPackage(const std::string& packagePath) const {
    std::filesystem::path folder(packagePath);
    Status positions = writePositionToFile((folder / std::string(kMouseFileName)).string());
    if (!positions) return fail("The pointer data cannot be written: " + positions.error());
    Status style =
        writeMouseVisualizationToFile((folder / std::string(kMouseVisualizationFileName)).string());
    if (!style) return fail("The mouse visualization cannot be written: " + style.error());
    return {};
}

} // namespace vtl
