#pragma once
// A connection to the D-Bus session bus: the bus's answers about names and their owners, and the
// connection that remote objects, proxies and notifications travel on. The process-wide session
// connection lives until exit; further connections (a second client in tests) are owned by the
// caller. Main thread only; needs the Qt application object for delivery.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vtl {

class BusConnection {
public:
    struct Impl;

    // The process's connection to the session bus ($DBUS_SESSION_BUS_ADDRESS).
    static BusConnection& session();
    // Another connection to the session bus, with a unique name of its own. nullptr with a
    // message when the bus cannot be reached.
    static std::unique_ptr<BusConnection> openSeparate(std::string& error);

    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    bool isConnected() const;
    // Why the connection is not there (empty when it is).
    std::string lastError() const;
    // The bus's name for this connection (":1.42").
    std::string uniqueName() const;

    // These wait for the bus's answer: for start-up and tools, never inside a message handler
    // (NameOwnerWatcher follows an owner without waiting).
    // The unique name owning a name, or empty when nobody owns it.
    std::string nameOwner(std::string_view name) const;
    bool hasOwner(std::string_view name) const { return !nameOwner(name).empty(); }
    // The Unix user of the process behind a bus name.
    std::optional<std::uint32_t> unixUserOf(std::string_view busName) const;

    // Takes a well-known name; fails (nothing changed) when another connection owns it.
    bool requestName(std::string_view name, std::string& error);
    void releaseName(std::string_view name);

    // Returns once every message sent so far has been handed on by the bus (a round trip to it),
    // so a program may quit right after sending. Waits: not inside a message handler.
    void flush();
    // The same without waiting: `then` runs on the main thread once the bus has answered (or the
    // connection is gone).
    void flushThen(std::function<void()> then);

    Impl& impl() { return *impl_; }

private:
    explicit BusConnection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
