#pragma once
// Records the pointer during a screen recording: its position at every frame tick, button
// presses, releases and wheel steps, the cursor picture whenever it or its visibility changes,
// and the front window's frame whenever the window follower reports a change; at the end it
// writes the package's "mouse" and "mouseVisualization" files. Owned by the recording
// coordinator. Three threads feed it: the pointer monitor's event thread, its own tick thread and
// the window follower's thread; stopRecord() joins the first two, and each list has one writer
// and a lock, so the files are written from complete lists.

#include "platform/capture/PointerMonitor.h"
#include "platform/foundation/Md5.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "recorder/MouseClick.h"
#include "recorder/MouseRecorderCoordinator.h"
#include "recorder/RecorderDelegate.h"
#include "recorder/WindowFrameReader.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace vtl {

class MouseRecorder final : public Recorder, public FrontWindowObserver {
public:
    // A press this soon after the last listed one of the same button counts as a further click.
    static constexpr double kMultipleClickSeconds = 0.2;

    // Who calls renderMouse: the recorder's own tick thread, or the caller (tests, benchmarks).
    enum class TickSource { OwnThread, Caller };

    // `monitor` may be null (no display): then nothing but the data report happens.
    MouseRecorder(RecorderDelegate& delegate, MouseRecorderCoordinator& coordinator,
                  std::unique_ptr<PointerMonitor> monitor, int frameRate,
                  TickSource tickSource = TickSource::OwnThread);
    ~MouseRecorder() override;
    MouseRecorder(const MouseRecorder&) = delete;
    MouseRecorder& operator=(const MouseRecorder&) = delete;

    // The style's archive as received (stored again when it decodes) and whether it shows clicks.
    void setMouseVisualization(PlistBytes archive, bool visualizesClicks);
    void setRecordMouseTrack(bool on) { recordMouseTrack_ = on; }
    void setButtonNames(PropertyList names) { buttonNames_ = std::move(names); }

    // Recorder.
    void startRecord() override;
    void setWriteToMovie() override { writeToMovie_.store(true); }
    void setPaused(bool paused) override { paused_.store(paused); }
    // Ends the event and tick threads; when it returns no list changes but the focus rectangles,
    // which end with the window follower.
    void stopRecord() override;
    void finalizeRecord() override;

    // The event handler's side: lists a press, release or wheel step (while writing, not paused).
    void handleMouseEvent(const MouseClick& click);
    // One frame tick: the position when it moved, the cursor picture when it changed.
    void renderMouse();
    // FrontWindowObserver (the window follower's thread).
    void rectOfFrontWindowChangedTo(Rect rect) override;

    Status writePositionToFile(const std::string& path) const;
    Status writeMouseVisualizationToFile(const std::string& path) const;
    // Both files into the package folder.
    Status writeFilesToPackage(const std::string& packagePath) const;

    Point lastKnownMousePosition() const;
    void setLastKnownMousePosition(Point point);
    Point recordableMousePosition() const { return lastKnownMousePosition(); }
    bool needsOwnBufferPool() const { return recordMouseTrack_; }
    // The click list (not stored): presses with their click counts and the latest wheel steps.
    std::vector<MouseClick> mouseClicks() const;
    // The "mouse" dictionary as it would be written now.
    PropertyList mouseFileContents() const;

private:
    void onButton(const PointerButtonEvent& event);
    void tickLoop();
    bool recording() const { return isRunning_.load() && writeToMovie_.load() && !paused_.load(); }
    double recordingTime() const;
    void recordCursor(const CursorImage& image);

    RecorderDelegate& delegate_;
    MouseRecorderCoordinator& coordinator_;
    std::unique_ptr<PointerMonitor> monitor_;
    int frameRate_;
    TickSource tickSource_;
    bool recordMouseTrack_ = false;
    bool visualizesClicks_ = true;
    PlistBytes visualizationArchive_;
    PropertyList buttonNames_;

    std::atomic<bool> isRunning_{false};
    std::atomic<bool> writeToMovie_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> hasNotifiedAboutData_{false};

    // Button events that set the position (event thread); the tick's sample, taken at the previous
    // tick with its recording time and that count then (tick thread only).
    std::atomic<std::uint64_t> eventPositions_{0};
    std::optional<double> sampleTime_;
    std::uint64_t sampleEventPositions_ = 0;

    mutable Mutex positionMutex_;
    Point lastKnownMousePosition_ VTL_GUARDED_BY(positionMutex_);

    // Written by the event thread.
    mutable Mutex eventsMutex_;
    PlistArray mouseEvents_ VTL_GUARDED_BY(eventsMutex_);
    std::vector<MouseClick> mouseClicks_ VTL_GUARDED_BY(eventsMutex_);

    // Written by the tick thread.
    mutable Mutex tickMutex_;
    PlistArray mousePositions_ VTL_GUARDED_BY(tickMutex_);
    PlistArray mouseCursorImages_ VTL_GUARDED_BY(tickMutex_);
    std::optional<Point> lastRecordedMousePosition_ VTL_GUARDED_BY(tickMutex_);
    std::optional<Md5Digest> previousCursorHashData_ VTL_GUARDED_BY(tickMutex_);
    bool cursorWasVisible_ VTL_GUARDED_BY(tickMutex_) = false;
    // Cursor pictures seen in this recording, by digest: a cursor shown again is not encoded again.
    std::map<Md5Digest, PlistBytes> mouseCursorHashDictionary_ VTL_GUARDED_BY(tickMutex_);

    // Written by the window follower's thread.
    mutable Mutex focusMutex_;
    PlistArray focusWindowRects_ VTL_GUARDED_BY(focusMutex_);

    std::mutex tickControlMutex_;
    std::condition_variable tickWake_;
    bool tickStopRequested_ = false;
    std::thread tickThread_;
};

} // namespace vtl
