#pragma once
// The recorder program's remote-control endpoint: vends the remote-recorder operations on the
// session bus for the main application alone, creates the recording coordinator on the prepare
// command, passes the `Vistrel` calls back to the main application, and ends the program once the
// recording has been handed over. A recording is never lost to a quit: when the main application
// goes away or asks the recorder to terminate, the recording is finished first. Created and owned
// by the program's main(); main thread only.

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"
#include "recorder/HotKeysController.h"
#include "recorder/RecordingCoordinator.h"
#include "recorder/RecordingCoordinatorDelegate.h"
#include "recorder/RecordingSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vtl {
class BusConnection;
class DistributedNotificationCenter;
class NameOwnerWatcher;
class RemoteObjectProxy;
class RemoteObjectServer;
} // namespace vtl

namespace vtl {

struct VistrelRecorderAppServices {
    // The bus to serve on; null: the session bus.
    BusConnection* bus = nullptr;
    // Ends the program (called from a main-queue task, never inside a remote call).
    std::function<void()> quitApplication;
    // The main application installed next to the recorder: the only program relaunched.
    std::string installedMainApplicationPath;
    // Starts a program without arguments, detached; answers whether it started.
    std::function<bool(const std::string& path)> launchApplication;
    RecordingCoordinatorServices coordinatorServices;
    // How long the program waits for the main application to take the result before it ends.
    int doneReplyTimeoutMilliseconds = 10000;
    // How long stealth mode waits for the relaunched main application before quitting anyway.
    double relaunchWaitSeconds = 120;
};

class VistrelRecorderAppDelegate final : public RecordingCoordinatorDelegate {
public:
    using Services = VistrelRecorderAppServices;

    explicit VistrelRecorderAppDelegate(Services services);
    ~VistrelRecorderAppDelegate() override;
    VistrelRecorderAppDelegate(const VistrelRecorderAppDelegate&) = delete;
    VistrelRecorderAppDelegate& operator=(const VistrelRecorderAppDelegate&) = delete;

    // Vends the remote recorder under its well-known name and announces it. Fails when the bus
    // cannot be reached or another recorder holds the name.
    Status awakeFromNib();
    // Quits when the main application is not running (answers false); otherwise observes its
    // end and terminate notifications and its presence on the bus.
    bool applicationDidFinishLaunching();

    // The remote-recorder operations (also what the bus calls, once the caller is checked).
    Status prepareMovieWithInfoDictionary(const PropertyList& settings);
    void startAudioRouting();
    void startRecording();
    void pauseResumeRecord();
    void stopRecord();
    void quitWithoutRecording();
    bool isPaused() const;
    void setPlayIOSAudio(bool on);
    void setPlayIOSVideo(bool on);

    // Inside the recorder.
    void pauseRecord();
    void endRecording();
    void terminate();
    void guiConnectionLost();
    void restartGUIApp();
    void restartedGUIApp();

    // Vistrel: passed on to the main application (swallowed without a connection).
    void showFinishingRecord() override;
    void recordDoneWithInfo(const std::optional<PropertyList>& doneInfo) override;
    void setSurfaceID(std::uint32_t surfaceID) override;
    void setWaitingForUnpause(bool waiting) override;
    // The recorder's own error setter does nothing; the error travels in doneRecordingWithInfo.
    void setRecordingError(int) override {}
    void presentRecordError(const std::string& message) override;
    void disableIOSAudioPreviewFromRecorder() override;
    void disableIOSVideoPreviewFromRecorder() override;

    void doneRecordingWithInfo(const std::optional<PropertyList>& doneInfo) override;
    void unregisterHotkeys() override;

    RecordingCoordinator* coordinator() const { return coordinator_.get(); }
    bool hasGuiApp() const;
    // Whether the bus has said who the main application is (calls from it are judged then).
    bool knowsMainApplication() const;
    bool stealthMode() const { return restartGUIApp_; }
    bool quitScheduled() const { return quitScheduled_; }
    HotKeysController* hotKeysController() const { return hotKeysController_.get(); }

private:
    void scheduleQuit();
    bool recordingInProgress() const;
    // Runs the action once the sender is known to be the main application.
    void fromMainApplication(const std::string& senderBusName, std::function<void()> action);
    // Sends the result and the error (when not 0) without waiting for them.
    void deliverResult(const std::optional<PropertyList>& doneInfo, int error,
                       std::function<void()> delivered = {});
    void mainApplicationOwnerChanged(const std::string& newOwner);

    Services services_;
    BusConnection* bus_;
    // The main application's owner on the bus: who may call, where the result goes.
    std::unique_ptr<NameOwnerWatcher> mainApplication_;
    bool launched_ = false;
    std::unique_ptr<RemoteObjectServer> server_;
    std::unique_ptr<DistributedNotificationCenter> notifications_;
    std::unique_ptr<RecordingCoordinator> coordinator_;
    std::unique_ptr<RemoteObjectProxy> guiApp_;
    std::string guiAppOwner_;
    bool restartGUIApp_ = false;
    std::string guiAppPath_;
    std::string moviePath_;
    RecordingHotKeys hotKeys_;
    std::unique_ptr<HotKeysController> hotKeysController_;
    bool quitScheduled_ = false;
    std::function<void()> cancelRelaunchWait_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

} // namespace vtl
