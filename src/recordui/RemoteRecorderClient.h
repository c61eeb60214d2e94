#pragma once
// The main application's side of a recording: owns the main application's name on the session
// bus, answers the recorder's `Vistrel` calls (from the recorder program only), starts the
// recorder program and sends it the remote-recorder operations. Owned by the recording control
// of the main application; main thread only.

#include "platform/foundation/PropertyList.h"
#include "platform/ipc/IpcValue.h"

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

// What the recorder tells the main application. Empty members ignore the call.
struct VistrelCallbacks {
    std::function<void()> remoteRecorderAvailable;
    std::function<void()> showFinishingRecord;
    // nullopt: nothing was recorded. A recording ended by an error still brings what it holds;
    // the error follows with setRecordingError.
    std::function<void(const std::optional<PropertyList>& doneInfo)> recordDoneWithInfo;
    std::function<void(std::uint32_t surfaceID)> setSurfaceID;
    std::function<void(bool waiting)> setWaitingForUnpause;
    std::function<void(int errorCode)> setRecordingError;
    std::function<void(const std::string& message)> presentRecordError;
    std::function<void()> disableIOSAudioPreviewFromRecorder;
    std::function<void()> disableIOSVideoPreviewFromRecorder;
};

class RemoteRecorderClient {
public:
    // `bus`: null for the session bus.
    explicit RemoteRecorderClient(VistrelCallbacks callbacks, BusConnection* bus = nullptr);
    ~RemoteRecorderClient();
    RemoteRecorderClient(const RemoteRecorderClient&) = delete;
    RemoteRecorderClient& operator=(const RemoteRecorderClient&) = delete;

    // Takes the main application's name, serves the `Vistrel` operations and listens for the
    // recorder's availability. False with a message when the name has another owner.
    bool vend(std::string& error);
    // Starts the recorder program (no arguments), detached. False with a message when it cannot.
    bool launchRecorder(const std::string& executablePath, std::string& error);
    std::int64_t recorderProcessId() const { return recorderProcessId_; }
    // Whether a recorder owns its name on the bus.
    bool recorderIsOnBus() const;

    // The remote-recorder operations. Calls wait for the recorder's answer; the one-way ones
    // (pause/resume, stop) only say whether they were sent.
    IpcReply prepareMovieWithInfoDictionary(const PropertyList& settings);
    IpcReply startAudioRouting();
    IpcReply startRecording();
    bool pauseResumeRecord();
    bool stopRecord();
    IpcReply quitWithoutRecording();
    // nullopt when the recorder did not answer.
    std::optional<bool> isPaused();
    IpcReply setPlayIOSAudio(bool on);
    IpcReply setPlayIOSVideo(bool on);

    // The broadcast requests to the recorder.
    void postEndRecording();
    void postTerminate();

private:
    VistrelCallbacks callbacks_;
    BusConnection* bus_;
    std::unique_ptr<NameOwnerWatcher> recorderOwner_;
    std::unique_ptr<RemoteObjectServer> server_;
    std::unique_ptr<DistributedNotificationCenter> notifications_;
    std::unique_ptr<RemoteObjectProxy> recorder_;
    std::int64_t recorderProcessId_ = 0;
    bool ownsName_ = false;
};

} // namespace vtl
