#pragma once
// Calls the operations of an interface served at "/" by another bus client, addressed by its
// well-known or unique name (the stand-in for a remote object's proxy). Main thread. A proxy
// with an empty destination swallows every call, like a nil proxy.

#include "platform/ipc/BusConnection.h"
#include "platform/ipc/IpcValue.h"

#include <functional>
#include <string>
#include <string_view>

namespace vtl {

class RemoteObjectProxy {
public:
    RemoteObjectProxy() = default;
    RemoteObjectProxy(BusConnection& bus, std::string destination, std::string interfaceName);

    // While waiting for a reply, the calling thread's events are handled (calls to objects this
    // same thread serves can then be answered); off by default, so no handler runs inside a call.
    void setHandlesEventsWhileWaiting(bool handles) { handlesEvents_ = handles; }

    bool isNil() const { return bus_ == nullptr || destination_.empty(); }
    const std::string& destination() const { return destination_; }

    // Waits for the reply (at most timeoutMilliseconds). A nil proxy answers an empty success.
    IpcReply call(std::string_view method, const IpcArguments& arguments = {},
                  int timeoutMilliseconds = 25000) const;
    // Without waiting: `answered` runs on the main thread with the reply, or with an error once
    // timeoutMilliseconds have passed. A nil proxy answers an empty success at once.
    void callThen(std::string_view method, const IpcArguments& arguments, int timeoutMilliseconds,
                  std::function<void(const IpcReply&)> answered) const;
    // One-way: sent without a reply being asked for. False when it could not be sent.
    bool send(std::string_view method, const IpcArguments& arguments = {}) const;

private:
    BusConnection* bus_ = nullptr;
    std::string destination_;
    std::string interfaceName_;
    bool handlesEvents_ = false;
};

} // namespace vtl
