#include "recorder/app/VistrelRecorderAppDelegate.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/DistributedNotificationCenter.h"
#include "platform/ipc/NameOwnerWatcher.h"
#include "platform/ipc/RemoteObjectProxy.h"
#include "platform/ipc/RemoteObjectServer.h"
#include "platform/ipc/VistrelBusNames.h"
#include "recorder/format/PackageSideFiles.h"

#include <filesystem>

namespace vtl {

namespace {

IpcBytes bytesOf(const std::optional<PropertyList>& value) {
    if (!value) return {};
    Result<PlistBytes> encoded = value->toBytes(PropertyListFormat::Binary);
    if (!encoded) {
        logMessage("The done info cannot be written as a property list: " + encoded.error());
        return {};
    }
    return encoded.value();
}

IpcReply noValue() {
    return {};
}

} // namespace

VistrelRecorderAppDelegate::VistrelRecorderAppDelegate(Services services)
    : services_(std::move(services))
    , bus_(services_.bus ? services_.bus : &BusConnection::session()) {}

VistrelRecorderAppDelegate::~VistrelRecorderAppDelegate() {
    if (cancelRelaunchWait_) cancelRelaunchWait_();
    // The coordinator calls back into this object while it winds down.
    coordinator_.reset();
    hotKeysController_.reset();
}

Status VistrelRecorderAppDelegate::awakeFromNib() {
    auto argumentBool = [](const IpcArguments& a) { return std::get<bool>(a.at(0)); };
    std::vector<IpcMethod> methods = {
        {"prepareMovieWithInfoDictionary", "ay", "", false,
         [this](const IpcArguments& a) {
             const auto& bytes = std::get<IpcBytes>(a.at(0));
             Result<PropertyList> settings = PropertyList::fromBytes(std::span<const std::uint8_t>(bytes));
             IpcReply reply;
             if (!settings) {
                 reply.error = "The recording settings cannot be read: " + settings.error();
                 logMessage(reply.error);
                 return reply;
             }
             if (Status prepared = prepareMovieWithInfoDictionary(settings.value()); !prepared)
                 reply.error = prepared.error();
             return reply;
         }},
        {"startAudioRouting", "", "", false,
         [this](const IpcArguments&) {
             startAudioRouting();
             return noValue();
         }},
        {"startRecording", "", "", false,
         [this](const IpcArguments&) {
             startRecording();
             return noValue();
         }},
        {"pauseResumeRecord", "", "", true,
         [this](const IpcArguments&) {
             pauseResumeRecord();
             return noValue();
         }},
        {"stopRecord", "", "", true,
         [this](const IpcArguments&) {
             stopRecord();
             return noValue();
         }},
        {"quitWithoutRecording", "", "", false,
         [this](const IpcArguments&) {
             quitWithoutRecording();
             return noValue();
         }},
        {"isPaused", "", "b", false,
         [this](const IpcArguments&) {
             IpcReply reply;
             reply.value = isPaused();
             return reply;
         }},
        {"setPlayIOSAudio", "b", "", false,
         [this, argumentBool](const IpcArguments& a) {
             setPlayIOSAudio(argumentBool(a));
             return noValue();
         }},
        {"setPlayIOSVideo", "b", "", false,
         [this, argumentBool](const IpcArguments& a) {
             setPlayIOSVideo(argumentBool(a));
             return noValue();
         }},
    };
    // Followed from here on, so the main application's calls are judged from their sender alone.
    mainApplication_ =
        std::make_unique<NameOwnerWatcher>(*bus_, std::string(kMainApplicationServiceName),
                                           [this](const std::string&, const std::string& newOwner) {
                                               if (launched_) mainApplicationOwnerChanged(newOwner);
                                           });
    NameOwnerWatcher* mainApplication = mainApplication_.get();
    std::string error;
    server_ = RemoteObjectServer::create(
        *bus_, std::string(kRemoteRecorderInterface), std::move(methods),
        [mainApplication](const std::string& caller, IpcCallerDecision decided) {
            mainApplication->judgeCaller(caller, std::move(decided));
        },
        error);
    if (!server_) return fail(error);
    if (!bus_->requestName(kRecorderServiceName, error)) {
        server_.reset();
        return fail(error);
    }
    notifications_ = std::make_unique<DistributedNotificationCenter>(*bus_);
    notifications_->post(kRemoteRecorderAvailableNotification);
    return {};
}

bool VistrelRecorderAppDelegate::applicationDidFinishLaunching() {
    if (!bus_->hasOwner(kMainApplicationServiceName)) {
        logMessage("Vistrel not running. Quitting.");
        scheduleQuit();
        return false;
    }
    if (!notifications_) notifications_ = std::make_unique<DistributedNotificationCenter>(*bus_);
    notifications_->addObserver(std::string(kRemoteRecorderEndNotification),
                                [this](const DistributedNotification& n) {
                                    fromMainApplication(n.senderBusName, [this] { endRecording(); });
                                });
    notifications_->addObserver(std::string(kRemoteRecorderTerminateNotification),
                                [this](const DistributedNotification& n) {
                                    fromMainApplication(n.senderBusName, [this] { terminate(); });
                                });
    launched_ = true;
    return true;
}

bool VistrelRecorderAppDelegate::knowsMainApplication() const {
    return mainApplication_ && mainApplication_->ownerKnown();
}

void VistrelRecorderAppDelegate::fromMainApplication(const std::string& senderBusName,
                                                     std::function<void()> action) {
    if (!mainApplication_) return;
    std::weak_ptr<int> alive = lifetime_;
    mainApplication_->judgeCaller(senderBusName, [alive, senderBusName, action = std::move(action)](
                                                     bool allowed, const std::string& why) {
        if (!alive.lock()) return;
        if (allowed)
            action();
        else
            logMessage("A notification from " + senderBusName + " is ignored: " + why + ".");
    });
}

void VistrelRecorderAppDelegate::mainApplicationOwnerChanged(const std::string& newOwner) {
    if (guiApp_) {
        if (newOwner != guiAppOwner_) guiConnectionLost();
        return;
    }
    // Not connected yet: with the main application gone there is nobody to record for.
    if (newOwner.empty() && !restartGUIApp_ && !quitScheduled_ && !recordingInProgress()) {
        logMessage("Vistrel is gone before a recording started. Quitting.");
        quitWithoutRecording();
    }
}

bool VistrelRecorderAppDelegate::recordingInProgress() const {
    if (!coordinator_) return false;
    RecordingCoordinator::State state = coordinator_->state();
    return state == RecordingCoordinator::State::started || state == RecordingCoordinator::State::running ||
           state == RecordingCoordinator::State::stopping;
}

Status VistrelRecorderAppDelegate::prepareMovieWithInfoDictionary(const PropertyList& settings) {
    if (coordinator_) return fail("A recording has already been prepared by this recorder.");
    auto coordinator = std::make_unique<RecordingCoordinator>(*this, services_.coordinatorServices);
    if (Status prepared = coordinator->prepareWithInfoDictionary(settings); !prepared) return prepared;
    coordinator_ = std::move(coordinator);
    const RecordingSettings& read = coordinator_->settings();

    hotKeys_ = read.hotkeys;
    hotKeysController_ = std::make_unique<HotKeysController>(
        hotKeys_, [this] { stopRecord(); }, [this] { pauseResumeRecord(); });
    // A key another program holds is logged there; the recording goes on without it.
    (void)hotKeysController_->registerHotkeys();
    restartGUIApp_ = read.restartGUIApp;
    // Only the main application installed with the recorder is ever started; a path received
    // with the settings is not run.
    guiAppPath_ = services_.installedMainApplicationPath;
    if (restartGUIApp_ && !read.GUIAppPath.empty() && read.GUIAppPath != guiAppPath_)
        logMessage("The main application to restart is the installed one, not " + read.GUIAppPath + ".");
    if (!restartGUIApp_) {
        guiAppOwner_ = mainApplication_ ? mainApplication_->owner() : std::string();
        if (guiAppOwner_.empty()) {
            logMessage("Vistrel is not on the bus; the recording's result cannot be delivered.");
        } else {
            // Addressed to the owner's own bus name: a later owner of the well-known name gets nothing.
            guiApp_ =
                std::make_unique<RemoteObjectProxy>(*bus_, guiAppOwner_, std::string(kVistrelInterface));
        }
    }
    moviePath_ = read.path;
    // The recording goes ahead without what cannot be recorded, and the main application hears
    // what that is (one-way, so the prepare call it waits for is answered meanwhile).
    const std::vector<std::string>& unrecorded = coordinator_->unrecordedRequests();
    if (!unrecorded.empty()) {
        std::string message;
        for (const std::string& sentence : unrecorded)
            message += (message.empty() ? "" : " ") + sentence;
        presentRecordError(message);
    }
    return {};
}

void VistrelRecorderAppDelegate::startAudioRouting() {
    if (coordinator_) coordinator_->startAudioRouting();
}

void VistrelRecorderAppDelegate::startRecording() {
    if (coordinator_) coordinator_->startRecording();
}

void VistrelRecorderAppDelegate::pauseResumeRecord() {
    if (coordinator_) coordinator_->pauseResumeRecord();
}

void VistrelRecorderAppDelegate::pauseRecord() {
    if (coordinator_) coordinator_->promotePaused(!coordinator_->isPaused());
}

void VistrelRecorderAppDelegate::stopRecord() {
    if (coordinator_) coordinator_->stopRecording();
}

void VistrelRecorderAppDelegate::endRecording() {
    stopRecord();
}

bool VistrelRecorderAppDelegate::isPaused() const {
    return coordinator_ && coordinator_->isPaused();
}

void VistrelRecorderAppDelegate::quitWithoutRecording() {
    // Meant for before the start; a recording already under way is finished rather than lost.
    if (recordingInProgress()) {
        terminate();
        return;
    }
    if (coordinator_) {
        coordinator_->stopObservingAndSession();
        // A package that was prepared and never started holds no frame: nothing is left of it.
        coordinator_->discardPreparedRecording();
    }
    scheduleQuit();
}

void VistrelRecorderAppDelegate::terminate() {
    if (recordingInProgress()) {
        // The package is finished and closed first; the program ends with the result.
        stopRecord();
        return;
    }
    scheduleQuit();
}

void VistrelRecorderAppDelegate::setPlayIOSAudio(bool on) {
    if (coordinator_) coordinator_->setPlayIOSAudio(on);
}

void VistrelRecorderAppDelegate::setPlayIOSVideo(bool on) {
    if (coordinator_) coordinator_->setPlayIOSVideo(on);
}

void VistrelRecorderAppDelegate::guiConnectionLost() {
    guiApp_.reset();
    guiAppOwner_.clear();
    if (restartGUIApp_ || quitScheduled_) return;
    if (coordinator_ && coordinator_->state() == RecordingCoordinator::State::done) {
        scheduleQuit();
    } else if (recordingInProgress()) {
        logMessage(
            "Vistrel died while recording. Recording will be stopped, the movie will be closed and saved.");
        stopRecord();
    } else {
        logMessage("Vistrel is gone before the recording started. Quitting.");
        quitWithoutRecording();
    }
}

bool VistrelRecorderAppDelegate::hasGuiApp() const {
    return guiApp_ != nullptr;
}

void VistrelRecorderAppDelegate::showFinishingRecord() {
    if (guiApp_) guiApp_->send("showFinishingRecord");
}

void VistrelRecorderAppDelegate::recordDoneWithInfo(const std::optional<PropertyList>& doneInfo) {
    deliverResult(doneInfo, 0);
}

void VistrelRecorderAppDelegate::deliverResult(const std::optional<PropertyList>& doneInfo, int error,
                                               std::function<void()> delivered) {
    if (!guiApp_) {
        if (delivered) delivered();
        return;
    }
    // Neither call waits: the recorder keeps answering while the main application takes the
    // result, and `delivered` runs once both are answered or given up on.
    auto remaining = std::make_shared<int>(error != 0 ? 2 : 1);
    std::weak_ptr<int> alive = lifetime_;
    auto answered = [alive, remaining, delivered](std::string what) {
        return [alive, remaining, delivered, what](const IpcReply& reply) {
            if (!alive.lock()) return;
            if (!reply) logMessage("Vistrel did not take the recording's " + what + ": " + reply.error);
            if (--*remaining == 0 && delivered) delivered();
        };
    };
    guiApp_->callThen("recordDoneWithInfo", {bytesOf(doneInfo)}, services_.doneReplyTimeoutMilliseconds,
                      answered("result"));
    if (error != 0)
        guiApp_->callThen("setRecordingError", {static_cast<std::int32_t>(error)},
                          services_.doneReplyTimeoutMilliseconds, answered("error"));
}

void VistrelRecorderAppDelegate::setSurfaceID(std::uint32_t surfaceID) {
    if (guiApp_) guiApp_->send("setSurfaceID", {surfaceID});
}

void VistrelRecorderAppDelegate::setWaitingForUnpause(bool waiting) {
    if (guiApp_) guiApp_->send("setWaitingForUnpause", {waiting});
}

void VistrelRecorderAppDelegate::presentRecordError(const std::string& message) {
    if (guiApp_) guiApp_->send("presentRecordError", {message});
}

void VistrelRecorderAppDelegate::disableIOSAudioPreviewFromRecorder() {
    if (guiApp_) guiApp_->send("disableIOSAudioPreviewFromRecorder");
}

void VistrelRecorderAppDelegate::disableIOSVideoPreviewFromRecorder() {
    if (guiApp_) guiApp_->send("disableIOSVideoPreviewFromRecorder");
}

void VistrelRecorderAppDelegate::unregisterHotkeys() {
    if (hotKeysController_) hotKeysController_->unregisterHotkeys();
    hotKeysController_.reset();
    hotKeys_ = {};
}

void VistrelRecorderAppDelegate::doneRecordingWithInfo(const std::optional<PropertyList>& doneInfo) {
    if (restartGUIApp_) {
        if (doneInfo && coordinator_) {
            Status written = writeStealthRecordingInfo(coordinator_->recordPath(), *doneInfo);
            if (!written) logMessage("The recording's result cannot be left for Vistrel: " + written.error());
        }
        restartGUIApp();
        return;
    }
    // The program ends once the main application has the result.
    deliverResult(doneInfo, coordinator_ ? coordinator_->errorToShow() : 0, [this] { scheduleQuit(); });
}

void VistrelRecorderAppDelegate::restartGUIApp() {
    if (!notifications_) notifications_ = std::make_unique<DistributedNotificationCenter>(*bus_);
    notifications_->addObserver(std::string(kDidLaunchNotification),
                                [this](const DistributedNotification& n) {
                                    fromMainApplication(n.senderBusName, [this] { restartedGUIApp(); });
                                });
    std::weak_ptr<int> alive = lifetime_;
    std::shared_ptr<DispatchTimer> wait =
        DispatchTimer::scheduleOnce(services_.relaunchWaitSeconds, [this, alive] {
            if (!alive.lock()) return;
            logMessage("Vistrel did not announce its start; the recorder quits.");
            scheduleQuit();
        });
    cancelRelaunchWait_ = [wait] { wait->cancel(); };
    if (guiAppPath_.empty() || !services_.launchApplication || !services_.launchApplication(guiAppPath_)) {
        logMessage("Vistrel cannot be started again from " +
                   (guiAppPath_.empty() ? std::string("nowhere") : guiAppPath_) + ".");
        scheduleQuit();
    }
}

void VistrelRecorderAppDelegate::restartedGUIApp() {
    if (notifications_) notifications_->post(kOpenLastRecordingNotification);
    // Ends once the bus has passed the notification on, without waiting inside its delivery.
    std::weak_ptr<int> alive = lifetime_;
    bus_->flushThen([this, alive] {
        if (alive.lock()) scheduleQuit();
    });
}

void VistrelRecorderAppDelegate::scheduleQuit() {
    if (quitScheduled_) return;
    quitScheduled_ = true;
    if (cancelRelaunchWait_) {
        cancelRelaunchWait_();
        cancelRelaunchWait_ = nullptr;
    }
    std::weak_ptr<int> alive = lifetime_;
    DispatchQueue::mainQueue()->async([this, alive] {
        if (alive.lock() && services_.quitApplication) services_.quitApplication();
    });
}

} // namespace vtl
