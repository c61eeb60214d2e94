#include "platform/ipc/NotificationReceiver.h"

namespace vtl {

NotificationReceiver::NotificationReceiver(std::function<void(const QDBusMessage&)> handler)
    : handler_(std::move(handler)) {}

void NotificationReceiver::deliver(const QDBusMessage& message) {
    handler_(message);
}

} // namespace vtl
