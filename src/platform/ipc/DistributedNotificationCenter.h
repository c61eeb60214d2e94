#pragma once
// Broadcast notifications between programs of the same session (the stand-in for distributed
// notifications): a signal on the bus named after the notification, carrying the user info as a
// binary property list. Observers are called on the main thread with the sender's bus name, so
// they can decide whom to believe. Owned by its user; destroying it removes its observers.

#include "platform/foundation/PropertyList.h"
#include "platform/ipc/BusConnection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vtl {

struct DistributedNotification {
    std::string name;
    PropertyList userInfo; // None when the notification carries none
    std::string senderBusName;
};

class DistributedNotificationCenter {
public:
    using Token = std::uint64_t;
    using Observer = std::function<void(const DistributedNotification&)>;

    explicit DistributedNotificationCenter(BusConnection& bus = BusConnection::session());
    ~DistributedNotificationCenter();
    DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
    DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

    // Sends at once. A user info that cannot be written as a property list is left out (logged).
    bool post(std::string_view name, const PropertyList& userInfo = {});

    // 0 when the bus refused the subscription.
    Token addObserver(std::string name, Observer observer);
    void removeObserver(Token token);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
