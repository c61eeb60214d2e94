#include "recordui/RemoteRecorderClient.h"

#include "platform/foundation/Log.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/DistributedNotificationCenter.h"
#include "platform/ipc/NameOwnerWatcher.h"
#include "platform/ipc/RemoteObjectProxy.h"
#include "platform/ipc/RemoteObjectServer.h"
#include "platform/ipc/VistrelBusNames.h"

#include <QProcess>
#include <QString>

namespace vtl {

RemoteRecorderClient::RemoteRecorderClient(VistrelCallbacks callbacks, BusConnection* bus)
    : callbacks_(std::move(callbacks))
    , bus_(bus ? bus : &BusConnection::session()) {
    recorder_ = std::make_unique<RemoteObjectProxy>(*bus_, std::string(kRecorderServiceName),
                                                    std::string(kRemoteRecorderInterface));
}

RemoteRecorderClient::~RemoteRecorderClient() {
    server_.reset();
    if (ownsName_) bus_->releaseName(kMainApplicationServiceName);
}

bool RemoteRecorderClient::vend(std::string& error) {
    auto call = [](const std::function<void()>& f) {
        return [f](const IpcArguments&) {
            if (f) f();
            return IpcReply{};
        };
    };
    std::vector<IpcMethod> methods = {
        {"showFinishingRecord", "", "", false, call([this] {
             if (callbacks_.showFinishingRecord) callbacks_.showFinishingRecord();
         })},
        {"recordDoneWithInfo", "ay", "", false,
         [this](const IpcArguments& a) {
             const auto& bytes = std::get<IpcBytes>(a.at(0));
             std::optional<PropertyList> info;
             // An empty array stands for no dictionary.
             if (!bytes.empty()) {
                 Result<PropertyList> parsed = PropertyList::fromBytes(std::span<const std::uint8_t>(bytes));
                 if (!parsed) {
                     IpcReply reply;
                     reply.error = "The done info cannot be read: " + parsed.error();
                     return reply;
                 }
                 info = std::move(parsed.value());
             }
             if (callbacks_.recordDoneWithInfo) callbacks_.recordDoneWithInfo(info);
             return IpcReply{};
         }},
        {"setSurfaceID", "u", "", false,
         [this](const IpcArguments& a) {
             if (callbacks_.setSurfaceID) callbacks_.setSurfaceID(std::get<std::uint32_t>(a.at(0)));
             return IpcReply{};
         }},
        {"setWaitingForUnpause", "b", "", false,
         [this](const IpcArguments& a) {
             if (callbacks_.setWaitingForUnpause) callbacks_.setWaitingForUnpause(std::get<bool>(a.at(0)));
             return IpcReply{};
         }},
        {"setRecordingError", "i", "", false,
         [this](const IpcArguments& a) {
             if (callbacks_.setRecordingError) callbacks_.setRecordingError(std::get<std::int32_t>(a.at(0)));
             return IpcReply{};
         }},
        {"presentRecordError", "s", "", false,
         [this](const IpcArguments& a) {
             if (callbacks_.presentRecordError) callbacks_.presentRecordError(std::get<std::string>(a.at(0)));
             return IpcReply{};
         }},
        {"disableIOSAudioPreviewFromRecorder", "", "", false, call([this] {
             if (callbacks_.disableIOSAudioPreviewFromRecorder)
                 callbacks_.disableIOSAudioPreviewFromRecorder();
         })},
        {"disableIOSVideoPreviewFromRecorder", "", "", false, call([this] {
             if (callbacks_.disableIOSVideoPreviewFromRecorder)
                 callbacks_.disableIOSVideoPreviewFromRecorder();
         })},
    };
    recorderOwner_ = std::make_unique<NameOwnerWatcher>(*bus_, std::string(kRecorderServiceName));
    NameOwnerWatcher* recorderOwner = recorderOwner_.get();
    server_ = RemoteObjectServer::create(
        *bus_, std::string(kVistrelInterface), std::move(methods),
        [recorderOwner](const std::string& caller, IpcCallerDecision decided) {
            recorderOwner->judgeCaller(caller, std::move(decided));
        },
        error);
    if (!server_) return false;
    if (!bus_->requestName(kMainApplicationServiceName, error)) {
        server_.reset();
        return false;
    }
    ownsName_ = true;
    notifications_ = std::make_unique<DistributedNotificationCenter>(*bus_);
    notifications_->addObserver(
        std::string(kRemoteRecorderAvailableNotification), [this](const DistributedNotification& n) {
            // Only the owner of the recorder's name announces a recorder.
            recorderOwner_->judgeCaller(n.senderBusName, [this](bool allowed, const std::string&) {
                if (allowed && callbacks_.remoteRecorderAvailable) callbacks_.remoteRecorderAvailable();
            });
        });
    return true;
}

bool RemoteRecorderClient::launchRecorder(const std::string& executablePath, std::string& error) {
    qint64 pid = 0;
    if (!QProcess::startDetached(QString::fromStdString(executablePath), {}, QString(), &pid)) {
        error = "The recorder " + executablePath + " cannot be started.";
        return false;
    }
    recorderProcessId_ = pid;
    return true;
}

bool RemoteRecorderClient::recorderIsOnBus() const {
    return bus_->hasOwner(kRecorderServiceName);
}

IpcReply RemoteRecorderClient::prepareMovieWithInfoDictionary(const PropertyList& settings) {
    Result<PlistBytes> bytes = settings.toBytes(PropertyListFormat::Binary);
    if (!bytes) {
        IpcReply reply;
        reply.error = "The recording settings cannot be written: " + bytes.error();
        return reply;
    }
    return recorder_->call("prepareMovieWithInfoDictionary", {bytes.value()});
}

IpcReply RemoteRecorderClient::startAudioRouting() {
    return recorder_->call("startAudioRouting");
}

IpcReply RemoteRecorderClient::startRecording() {
    return recorder_->call("startRecording");
}

bool RemoteRecorderClient::pauseResumeRecord() {
    return recorder_->send("pauseResumeRecord");
}

bool RemoteRecorderClient::stopRecord() {
    return recorder_->send("stopRecord");
}

IpcReply RemoteRecorderClient::quitWithoutRecording() {
    return recorder_->call("quitWithoutRecording");
}

std::optional<bool> RemoteRecorderClient::isPaused() {
    IpcReply reply = recorder_->call("isPaused");
    if (!reply || !reply.value) return std::nullopt;
    if (const bool* paused = std::get_if<bool>(&*reply.value)) return *paused;
    return std::nullopt;
}

IpcReply RemoteRecorderClient::setPlayIOSAudio(bool on) {
    return recorder_->call("setPlayIOSAudio", {on});
}

IpcReply RemoteRecorderClient::setPlayIOSVideo(bool on) {
    return recorder_->call("setPlayIOSVideo", {on});
}

void RemoteRecorderClient::postEndRecording() {
    if (!notifications_) notifications_ = std::make_unique<DistributedNotificationCenter>(*bus_);
    notifications_->post(kRemoteRecorderEndNotification);
}

void RemoteRecorderClient::postTerminate() {
    if (!notifications_) notifications_ = std::make_unique<DistributedNotificationCenter>(*bus_);
    notifications_->post(kRemoteRecorderTerminateNotification);
}

} // namespace vtl
