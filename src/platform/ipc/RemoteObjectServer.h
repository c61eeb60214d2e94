#pragma once
// Serves one interface of named operations at the object path "/" of a bus connection (the
// stand-in for a vended root object). Calls arrive on the main thread; each is checked against
// the caller check, the size limit and the declared argument signature before its handler runs,
// and nothing on the way waits on the bus. Owned by whoever vends the object; destroying it
// withdraws the object.

#include "platform/ipc/BusConnection.h"
#include "platform/ipc/IpcValue.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

// What a call's arguments may hold unless its method says otherwise.
inline constexpr std::size_t kMaximumArgumentBytes = std::size_t{1} << 20;

struct IpcMethod {
    std::string name;
    std::string inSignature;  // e.g. "ay", "b", "" for none
    std::string outSignature; // "" or one value, e.g. "b"
    bool oneWay = false;      // callers send it without waiting for a reply
    // Returns the result (no value for methods without one) or an error for the caller.
    // Arguments match inSignature.
    std::function<IpcReply(const IpcArguments&)> handler;
    // Larger calls are refused before their arguments are read.
    std::size_t maximumArgumentBytes = kMaximumArgumentBytes;
};

// Whether the caller may go on; `why` tells a refused caller.
using IpcCallerDecision = std::function<void(bool allowed, const std::string& why)>;
// Decides on a caller (its unique bus name), at once or later, by calling `decided` once. It must
// not wait on the bus: the recorder's loop would stop with it.
using IpcCallerCheck = std::function<void(const std::string& callerBusName, IpcCallerDecision decided)>;

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
