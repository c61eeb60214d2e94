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
    // Returns at once; `done` gets the reply (or the error, at the latest after
    // timeoutMilliseconds) from this thread's event loop, so the caller's loop keeps serving
    // calls meanwhile. A nil proxy calls `done` with an empty success before returning.
    void callAsync(std::string_view method, const IpcArguments& arguments, int timeoutMilliseconds,
                   std::function<void(IpcReply)> done) const;
    // One-way: sent without a reply being asked for. False when it could not be sent.
    bool send(std::string_view method, const IpcArguments& arguments = {}) const;

private:
    BusConnection* bus_ = nullptr;
    std::string destination_;
    std::string interfaceName_;
    bool handlesEvents_ = false;
};

} // namespace vtl
