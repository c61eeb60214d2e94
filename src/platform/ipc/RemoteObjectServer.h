#pragma once
// Serves one interface of named operations at the object path "/" of a bus connection (the
// stand-in for a vended root object). Calls arrive on the main thread; each is checked against
// the declared argument signature and the caller check before its handler runs. Owned by whoever
// vends the object; destroying it withdraws the object.

#include "platform/ipc/BusConnection.h"
#include "platform/ipc/IpcValue.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

struct IpcMethod {
    std::string name;
    std::string inSignature;  // e.g. "ay", "b", "" for none
    std::string outSignature; // "" or one value, e.g. "b"
    bool oneWay = false;      // callers send it without waiting for a reply
    // Returns the result (no value for methods without one) or an error for the caller.
    // Arguments match inSignature.
    std::function<IpcReply(const IpcArguments&)> handler;
};

// Whether the caller (its unique bus name) may call; `why` tells the refused caller.
using IpcCallerCheck = std::function<bool(const std::string& callerBusName, std::string& why)>;

class RemoteObjectServer {
public:
    // nullptr with a message when the path is already served on this connection.
    static std::unique_ptr<RemoteObjectServer> create(BusConnection& bus, std::string interfaceName,
                                                      std::vector<IpcMethod> methods,
                                                      IpcCallerCheck callerCheck, std::string& error);
    ~RemoteObjectServer();
    RemoteObjectServer(const RemoteObjectServer&) = delete;
    RemoteObjectServer& operator=(const RemoteObjectServer&) = delete;

    // Calls refused by the caller check so far.
    int refusedCalls() const;

    struct Impl;

private:
    explicit RemoteObjectServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
