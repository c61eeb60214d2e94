#include "platform/ipc/DistributedNotificationCenter.h"

#include "platform/foundation/Log.h"
#include "platform/ipc/BusConnectionPrivate.h"
#include "platform/ipc/NotificationReceiver.h"
#include "platform/ipc/VistrelBusNames.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QObject>
#include <map>

namespace vtl {

struct DistributedNotificationCenter::Impl {
    BusConnection* bus = nullptr;
    struct Subscription {
        std::string name;
        std::unique_ptr<NotificationReceiver> receiver;
    };
    std::map<Token, Subscription> subscriptions;
    Token nextToken = 1;

    void disconnect(Subscription& subscription) {
        bus->impl().connection.disconnect(QString(), toQString(kObjectPath),
                                          toQString(kNotificationsInterface),
                                          QString::fromStdString(subscription.name),
                                          subscription.receiver.get(), SLOT(deliver(QDBusMessage)));
    }
};

DistributedNotificationCenter::DistributedNotificationCenter(BusConnection& bus)
    : impl_(std::make_unique<Impl>()) {
    impl_->bus = &bus;
}

DistributedNotificationCenter::~DistributedNotificationCenter() {
    for (auto& [token, subscription] : impl_->subscriptions)
        impl_->disconnect(subscription);
}

bool DistributedNotificationCenter::post(std::string_view name, const PropertyList& userInfo) {
    QByteArray bytes;
    if (!userInfo.isNone()) {
        Result<PlistBytes> encoded = userInfo.toBytes(PropertyListFormat::Binary);
        if (encoded)
            bytes = QByteArray(reinterpret_cast<const char*>(encoded.value().data()),
                               static_cast<qsizetype>(encoded.value().size()));
        else
            logMessage("The user info of " + std::string(name) + " cannot be sent: " + encoded.error());
    }
    QDBusMessage signal = QDBusMessage::createSignal(toQString(kObjectPath),
                                                     toQString(kNotificationsInterface), toQString(name));
    signal << bytes;
    return impl_->bus->impl().connection.send(signal);
}

DistributedNotificationCenter::Token DistributedNotificationCenter::addObserver(std::string name,
                                                                                Observer observer) {
    std::string notificationName = name;
    auto receiver = std::make_unique<NotificationReceiver>([notificationName, observer = std::move(observer)](
                                                               const QDBusMessage& message) {
        DistributedNotification notification;
        notification.name = notificationName;
        notification.senderBusName = message.service().toStdString();
        if (!message.arguments().isEmpty()) {
            QByteArray bytes = message.arguments().constFirst().toByteArray();
            if (!bytes.isEmpty()) {
                Result<PropertyList> parsed = PropertyList::fromBytes(
                    std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                  static_cast<std::size_t>(bytes.size())));
                if (parsed)
                    notification.userInfo = std::move(parsed.value());
                else
                    logMessage("The user info of " + notificationName + " cannot be read: " + parsed.error());
            }
        }
        observer(notification);
    });
    bool connected = impl_->bus->impl().connection.connect(
        QString(), toQString(kObjectPath), toQString(kNotificationsInterface), QString::fromStdString(name),
        receiver.get(), SLOT(deliver(QDBusMessage)));
    if (!connected) {
        logMessage("Notifications named " + name + " cannot be observed.");
        return 0;
    }
    Token token = impl_->nextToken++;
    impl_->subscriptions.emplace(token, Impl::Subscription{std::move(name), std::move(receiver)});
    return token;
}

void DistributedNotificationCenter::removeObserver(Token token) {
    auto found = impl_->subscriptions.find(token);
    if (found == impl_->subscriptions.end()) return;
    impl_->disconnect(found->second);
    // The receiver may be the one delivering right now: let Qt delete it later.
    found->second.receiver.release()->deleteLater();
    impl_->subscriptions.erase(found);
}

} // namespace vtl
