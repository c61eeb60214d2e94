#pragma once
// Receives one subscribed bus signal for DistributedNotificationCenter: Qt's D-Bus layer
// delivers signals only to slots. Kept apart from other headers so moc reads only Qt.

#include <QDBusMessage>
#include <QObject>
#include <functional>

namespace vtl {

class NotificationReceiver : public QObject {
    Q_OBJECT
public:
    explicit NotificationReceiver(std::function<void(const QDBusMessage&)> handler);

public slots:
    void deliver(const QDBusMessage& message);

private:
    std::function<void(const QDBusMessage&)> handler_;
};

} // namespace vtl
