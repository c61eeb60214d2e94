#include "platform/ipc/BusConnection.h"

#include "platform/ipc/BusConnectionPrivate.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <atomic>
#include <dbus/dbus.h>
#include <limits>

namespace vtl {

namespace {

// libdbus stops reading a connection while more than 63 MiB of received messages are alive and
// resumes from the thread that frees them. Qt frees them on the main thread, where it cannot
// re-enable its socket notifier: one large call would leave the connection deaf for good. The
// bus already bounds each message; handlers refuse large arguments.
void keepReading(const QDBusConnection& connection) {
    if (auto* raw = static_cast<DBusConnection*>(connection.internalPointer()))
        dbus_connection_set_max_received_size(raw, std::numeric_limits<long>::max());
}

} // namespace

BusConnection::BusConnection(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)) {}

BusConnection::~BusConnection() {
    if (!impl_->separateName.isEmpty()) QDBusConnection::disconnectFromBus(impl_->separateName);
}

BusConnection& BusConnection::session() {
    // Lives until exit: remote objects and notifications may still refer to it at teardown.
    static BusConnection* connection = [] {
        auto* session = new BusConnection(std::make_unique<Impl>(Impl{QDBusConnection::sessionBus(), {}}));
        keepReading(session->impl_->connection);
        return session;
    }();
    return *connection;
}

std::unique_ptr<BusConnection> BusConnection::openSeparate(std::string& error) {
    static std::atomic<int> counter{0};
    QString name = QStringLiteral("vistrel-separate-%1").arg(++counter);
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    if (!connection.isConnected()) {
        error = "The session bus cannot be reached: " + toStdString(connection.lastError().message());
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    keepReading(connection);
    return std::unique_ptr<BusConnection>(new BusConnection(std::make_unique<Impl>(Impl{connection, name})));
}

bool BusConnection::isConnected() const {
    return impl_->connection.isConnected();
}

std::string BusConnection::lastError() const {
    if (impl_->connection.isConnected()) return {};
    return toStdString(impl_->connection.lastError().message());
}

std::string BusConnection::uniqueName() const {
    return toStdString(impl_->connection.baseService());
}

std::string BusConnection::nameOwner(std::string_view name) const {
    QDBusConnectionInterface* bus = impl_->connection.interface();
    if (!bus) return {};
    QDBusReply<QString> reply = bus->serviceOwner(toQString(name));
    return reply.isValid() ? toStdString(reply.value()) : std::string();
}

std::optional<std::uint32_t> BusConnection::unixUserOf(std::string_view busName) const {
    QDBusConnectionInterface* bus = impl_->connection.interface();
    if (!bus) return std::nullopt;
    QDBusReply<uint> reply = bus->serviceUid(toQString(busName));
    if (!reply.isValid()) return std::nullopt;
    return reply.value();
}

void BusConnection::flushThen(std::function<void()> then) {
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    auto* pending = new QDBusPendingCallWatcher(impl_->connection.asyncCall(ping));
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, [pending, then = std::move(then)] {
        pending->deleteLater();
        if (then) then();
    });
}

bool BusConnection::requestName(std::string_view name, std::string& error) {
    if (!impl_->connection.isConnected()) {
        error = "The session bus cannot be reached: " + lastError();
        return false;
    }
    if (!impl_->connection.registerService(toQString(name))) {
        QDBusError failure = impl_->connection.lastError();
        error =
            "The name " + std::string(name) + " cannot be taken" +
            (failure.isValid() ? ": " + toStdString(failure.message()) : std::string(": it has an owner"));
        return false;
    }
    return true;
}

void BusConnection::releaseName(std::string_view name) {
    impl_->connection.unregisterService(toQString(name));
}

void BusConnection::flush() {
    // The bus handles each connection's messages in order: its answer comes after everything sent
    // before the question has been routed.
    if (QDBusConnectionInterface* bus = impl_->connection.interface())
        (void)bus->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
}

} // namespace vtl
