#pragma once
// Watches who owns a bus name: tells the main thread when the owner changes or goes away (the
// stand-in for a connection's death notification). Owned by its user.

#include "platform/ipc/BusConnection.h"

#include <functional>
#include <memory>
#include <string>

namespace vtl {

class NameOwnerWatcher {
public:
    // Called with the owner before and after; an empty string means no owner.
    using Handler = std::function<void(const std::string& oldOwner, const std::string& newOwner)>;

    NameOwnerWatcher(BusConnection& bus, std::string name, Handler handler);
    ~NameOwnerWatcher();
    NameOwnerWatcher(const NameOwnerWatcher&) = delete;
    NameOwnerWatcher& operator=(const NameOwnerWatcher&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
