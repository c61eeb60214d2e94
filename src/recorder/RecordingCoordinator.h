#pragma once
// Owns one recording from the settings dictionary to the done-info dictionary: works out the
// recorded screen and area, creates the package folder and the recorders, starts them together
// once each delivers data, handles pause and resume (and the package's pause list), keeps a
// recording at least five seconds long, stops and finishes the recorders in order and hands the
// result to its delegate (the recorder's application delegate, which owns the coordinator).
// Runs on the main thread; recorders call in from their own threads where noted.

#include "audio/CompositionAudioRecordDevice.h"
#include "objects/MouseVisualization.h"
#include "platform/capture/Screens.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"
#include "recorder/CameraPreviewWindow.h"
#include "recorder/MouseRecorder.h"
#include "recorder/MouseRecorderCoordinator.h"
#include "recorder/RecorderDelegate.h"
#include "recorder/RecorderStatusItem.h"
#include "recorder/RecorderWindows.h"
#include "recorder/RecordingCoordinatorDelegate.h"
#include "recorder/RecordingCoordinatorScreenRecorder.h"
#include "recorder/RecordingSettings.h"
#include "recorder/ScreenGrabberCoordinator.h"
#include "recorder/VTLiOSDeviceRecorder.h"
#include "recorder/WindowFrameReader.h"
#include "recorder/format/PackageSideFiles.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl {
class AudioHardware;
class Camera;
class DispatchTimer;
class MovieWriterQueue;
class VTLCameraRecorder;
class VTLiOSDeviceRecorder;
class VTLSystemAudioRecorder;
} // namespace vtl

namespace vtl {

class RecordingCoordinator;

// The coordinator's connections to the world; empty members get the real ones. Tests replace them.
struct RecordingCoordinatorServices {
    // Seconds on a clock that does not jump; the recording's times are differences of it.
    std::function<double()> clockSeconds;
    // The screens, primary first.
    std::function<Result<std::vector<ScreenDescription>>()> screens;
    // The screen recorder of record modes 0 to 2, made once the package folder exists.
    std::function<Result<std::unique_ptr<CoordinatedScreenRecorder>>(RecordingCoordinator&,
                                                                     const ScreenRecorderOptions&)>
        makeScreenRecorder;
    // Runs the task on the main thread after the delay; the answer cancels it (before it ran).
    std::function<std::function<void()>(double delaySeconds, std::function<void()> task)> scheduleAfter;
    // Posts a notification to the other programs of the session.
    std::function<void(std::string_view name)> postNotification;
    // Holds (true) or lets go of (false) the screen saver; answers whether that worked.
    std::function<bool(bool hold)> suppressScreenSaver;
    // The audio devices and the system's sound; empty: the shared device layer.
    std::shared_ptr<AudioHardware> audioHardware;
    // The recordable input with that persistent UID and stream, or nullopt when it is not present.
    std::function<std::optional<CompositionAudioRecordDevice>(std::string_view persistentUID,
                                                              std::uint32_t streamID)>
        findAudioDevice;
    // The iOS device with that unique id. Empty: the machine's (none can be reached here).
    std::function<Result<std::unique_ptr<MobileDevice>>(const std::string& uniqueID)> openMobileDevice;
    // The window that shows the camera on another screen ("showISightOnSecondaryMonitor"). Empty: none.
    CameraPreviewWindowFactory makeCameraPreviewWindow;
    // The camera with that unique id (empty: the last one). Empty: the machine's cameras.
    std::function<Result<std::unique_ptr<Camera>>(const std::string& uniqueID)> openCamera;
    // The status item, asked for by "showStatusItem"; nullptr when there is none. Empty: none (the
    // recorder program hands in its tray view).
    std::function<std::unique_ptr<RecorderStatusItem>(RecorderStatusItemActions actions)> makeStatusItem;
    // The mouse recorder of record modes 0 to 2; nullptr records no pointer. Empty: one on the
    // display's pointer.
    std::function<std::unique_ptr<MouseRecorder>(RecordingCoordinator&, int frameRate)> makeMouseRecorder;
    // Where the window follower of record mode 0 looks up the front window. Empty: the display.
    std::function<WindowFrameReader::FrameSource()> makeFrontWindowSource;
    // The recorder's windows; empty ones are not shown (logged). The recorder program hands in its views.
    std::function<std::unique_ptr<RecorderWindow>(const DesktopCoverOptions&)> makeDesktopCover;
    std::function<std::unique_ptr<RecorderWindow>(const RecordAreaFrameOptions&)> makeRecordAreaFrame;
    std::function<std::unique_ptr<RecorderWindow>()> makeWaitWindow;
};

class RecordingCoordinator final : public IOSRecorderCoordinator,
                                   public ScreenGrabberCoordinator,
                                   public MouseRecorderCoordinator {
public:
    using Services = RecordingCoordinatorServices;

    // A recording shorter than this is stopped only once it is this long.
    static constexpr double kMinimumRecordingSeconds = 5.0;
    // How long a stop waits for the recorders' first data before it stops without it.
    static constexpr double kStartWaitSeconds = 5.0;
    // A recorder without data this long after the start is left out of the recording.
    static constexpr double kSilentRecorderSeconds = 5.0;

    enum class State { created, prepared, started, running, stopping, done };

    explicit RecordingCoordinator(RecordingCoordinatorDelegate& delegate, Services services = {});
    ~RecordingCoordinator() override;
    RecordingCoordinator(const RecordingCoordinator&) = delete;
    RecordingCoordinator& operator=(const RecordingCoordinator&) = delete;

    // Reads the settings, creates the package folder and the recorders. Fails (leaving nothing
    // behind) when the recording cannot be made; settings for recorders that do not exist here are
    // logged and left out.
    Status prepareWithInfoDictionary(const PropertyList& info);
    void startAudioRouting();
    void startRecording();
    // Toggles between paused and running.
    void pauseResumeRecord();
    void promotePaused(bool paused);
    void pauseRecording() { promotePaused(true); }
    void resumeRecording() { promotePaused(false); }
    // Any thread. Before the real start it waits (at most kStartWaitSeconds) for it; in the first
    // kMinimumRecordingSeconds it is put off until then; afterwards the recording stops and is
    // finished.
    void stopRecording() override;
    void stopRecordingAfterFailure(const std::string& reason) override;
    void stopObservingAndSession();
    // A prepared recording that will never start: its recorders go, and so does what prepare
    // wrote (the package folder, or its contents when the folder was there, empty, before).
    // Nothing happens once the recording has started.
    void discardPreparedRecording();
    // Sentences naming what the settings asked for and this recording leaves out (a camera, a
    // sound device that is missing or cannot be opened); set by prepare.
    const std::vector<std::string>& unrecordedRequests() const { return unrecordedRequests_; }
    void setPlayIOSAudio(bool on);
    void setPlayIOSVideo(bool on);
    // Any thread: completes a resume that waited for a device; false when none was waiting.
    bool unpause() override;
    // Any thread: the iOS device's new picture size, kept in the pause list.
    void iOSRecordingResolutionChangeToSize(Size sizePixels) override;
    void forwardIOSSurfaceID(std::uint32_t surfaceID) override;
    void disableIOSAudioPreviewFromRecorder() override;
    void disableIOSVideoPreviewFromRecorder() override;
    void presentRecordError(const std::string& message) { delegate_.presentRecordError(message); }

    // Any thread: the error to show after the recording (0 none, 1 disk full).
    void showError(int errorCode) override { errorToShow_.store(errorCode); }
    int errorToShow() const { return errorToShow_.load(); }

    State state() const { return state_; }
    bool currentlyPaused() const { return currentlyPaused_; }
    bool waitingToBeUnpaused() const { return waitingToBeUnpaused_ || resumeWaiting_; }
    // Paused as the main application should see it (a resume still waiting counts as paused).
    bool isPaused() const { return currentlyPaused_ || waitingToBeUnpaused_ || resumeWaiting_; }
    // Clock seconds of the real start, moved forward by every pause; 0 before the real start.
    // Any thread.
    double recordStartTime() const override { return recordStartTime_.load(); }
    double recordingClockSeconds() const override { return now(); }
    const PauseTimes& pauseTimes() const { return pauseTimes_; }
    const RecordingSettings& settings() const { return settings_; }
    // The decoded style of "mouseVisualization", when the settings carried a readable one.
    std::shared_ptr<MouseVisualization> mouseVisualization() const { return mouseVisualization_; }
    MouseRecorder* mouseRecorder() const { return mouseRecorder_; }
    WindowFrameReader* windowFrameReader() const { return windowFrameReader_.get(); }
    // The desktop cover's colour as read from "desktopFillColor" (black when unreadable).
    DesktopFillColor desktopFillColor() const { return desktopFillColor_; }
    std::uint64_t sizeOfEntireRecordingSoFar() const;
    std::uint64_t sizeOfAdditionalAudioAndVideo() const;
    VTLSystemAudioRecorder* systemAudioRecorder() const { return systemAudioRecorder_; }
    VTLCameraRecorder* cameraRecorder() const { return cameraRecorder_; }
    VTLiOSDeviceRecorder* iosRecorder() const { return iosRecorder_; }
    // Shows the elapsed time or the size so far in the status item (every second while recording).
    void updateStatusItem();
    bool hasStatusItem() const { return statusItem_ != nullptr; }

    // Geometry, read by recorders from their own threads once prepared.
    RecordMode recordMode() const { return settings_.recordMode; }
    std::uint32_t displayID() const override { return screen_.displayID; }
    Rect logicalRecordingScreenRect() const override { return screen_.frame; }
    float recordingScreenScaling() const override { return scaling_; }
    Rect logicalAreaOnRecordingScreenRect() const override { return area_; }
    Rect physicalAreaOnRecordingScreenRect() const override;
    std::string recordPath() const override { return recordPath_; }
    Point unscaledRecordingScreenPoint(Point point) const;
    // A global point with y down from the top of the reference screen to recording pixels with y
    // up from the bottom of the area.
    Point convertPointFromCarbonCoordinatesToMovieCoordinates(Point point) const override;

    // RecorderDelegate (any thread) and the screen grabber's side of the same calls.
    bool recorderStartedProducingData(Recorder& recorder) override;
    void recorderDone(Recorder& recorder) override;
    bool recorderStartedProducingData(VTL3RecordImageGrabber& grabber) override;
    void recorderDone(VTL3RecordImageGrabber& grabber) override;

private:
    void startRealRecordOnMainThread();
    // The stop itself, past the start and minimum-length rules.
    void performStop();
    void finishRecordings();
    void applyPaused(bool paused, double now);
    double now() const { return services_.clockSeconds(); }
    // Runs the task on the main thread after the delay unless the coordinator is gone by then.
    std::function<void()> scheduleGuarded(double delaySeconds, std::function<void()> task);
    void onMainThread(std::function<void()> task);
    // System audio, audio devices and the camera, with the writer of the additional movie.
    void prepareAudioAndVideo(const RecordingSettings& settings);
    // Record mode 3: the iOS device's screen and sound instead of a screen.
    Status prepareIOSDevice(const RecordingSettings& settings);
    Status createPackageFolder(const RecordingSettings& settings);
    void setUpStatusItem(const RecordingSettings& settings);
    // The length and picture size of the finished "iOSDevice.mov".
    void iOSDeviceMovieFacts(double& durationSeconds, std::optional<Size>& sizePixels) const;
    void prepareCamera(const RecordingSettings& settings,
                       const std::function<void(const std::string&)>& reportError);
    void showCameraOnAnotherScreen();
    // At the real start, under mutex_: the movie writers the recorders share begin.
    void startMovieWritersLocked();
    // Completes the shared movie writers, then runs `then` on the main thread.
    void finishMovieWriters(std::function<void()> then);
    // Recorders without data kSilentRecorderSeconds after the start are left out of the recording.
    void leaveOutSilentRecorders();
    // Opens the system's sound (once), for the countdown and the start.
    void startSystemAudioRouting();
    std::uint64_t sizeOfSystemAudio() const;
    static void eraseRecorder(std::vector<Recorder*>& recorders, Recorder* recorder);
    // The mouse recorder, the window follower and the desktop cover (settings already read).
    void prepareMouseAndOverlays();
    // The recorded area in X11 root pixels.
    Rect areaX11() const;
    // Lets go of the recorders, writers and windows a prepare made.
    void releasePreparedParts();
    // Undoes what the prepare made so far and logs the message.
    Failure failPrepare(std::string message);

    RecordingCoordinatorDelegate& delegate_;
    Services services_;
    // Tasks queued to the main thread hold a weak reference and do nothing once it is gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);

    RecordingSettings settings_;
    ScreenDescription screen_;
    Rect referenceScreenFrame_;
    Rect area_;
    float scaling_ = 1.0f;
    std::string recordPath_;
    bool createdPackageFolder_ = false;
    std::shared_ptr<MouseVisualization> mouseVisualization_;

    std::unique_ptr<CoordinatedScreenRecorder> screenRecorder_;
    std::vector<std::unique_ptr<Recorder>> otherRecorders_;
    VTLSystemAudioRecorder* systemAudioRecorder_ = nullptr; // in otherRecorders_
    VTLCameraRecorder* cameraRecorder_ = nullptr;           // in otherRecorders_
    VTLiOSDeviceRecorder* iosRecorder_ = nullptr;           // in otherRecorders_
    std::shared_ptr<MovieWriterQueue> additionalAudioVideoWriter_;
    std::shared_ptr<MovieWriterQueue> iosDeviceWriter_;
    std::unique_ptr<CameraPreviewWindow> externalISightWindow_;
    std::function<void()> cancelSilentCheck_;
    MouseRecorder* mouseRecorder_ = nullptr; // one of otherRecorders_
    // Reports to the mouse recorder: goes before the recorders.
    std::unique_ptr<WindowFrameReader> windowFrameReader_;
    DesktopFillColor desktopFillColor_;
    std::unique_ptr<RecorderWindow> desktopCover_;
    std::unique_ptr<RecorderWindow> recordAreaFrame_;
    std::unique_ptr<RecorderWindow> waitWindow_;

    // Guards the recorder sets and the start; recorders call in from their own threads.
    mutable std::recursive_mutex mutex_;
    std::vector<Recorder*> recorders_;    // still running (removed when done)
    std::vector<Recorder*> allRecorders_; // have produced data: they get setWriteToMovie
    std::vector<Recorder*> pendingRecorders_;
    std::vector<std::string> unrecordedRequests_;
    bool realStartTriggered_ = false;

    State state_ = State::created;
    std::atomic<double> recordStartTime_{0};
    double pauseStartTime_ = 0;
    bool currentlyPaused_ = false;
    std::atomic<bool> waitingToBeUnpaused_{false};
    bool resumeWaiting_ = false; // an unpause on its way to the main thread
    PauseTimes pauseTimes_;
    std::atomic<int> errorToShow_{0};

    bool stopPerformSet_ = false; // a stop is put off until the minimum length
    bool failureReported_ = false;
    bool stopWanted_ = false; // a stop came before the real start
    std::function<void()> cancelStartWait_;
    std::function<void()> cancelTimeout_;
    bool holdsScreenSaver_ = false;
    std::unique_ptr<RecorderStatusItem> statusItem_;
    std::shared_ptr<DispatchTimer> statusItemTimer_;
};

} // namespace vtl
