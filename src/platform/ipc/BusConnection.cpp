#include "platform/ipc/BusConnection.h"

#include "platform/ipc/BusConnectionPrivate.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>
#include <atomic>
#include <unistd.h>

namespace vtl {

BusConnection::BusConnection(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)) {}

BusConnection::~BusConnection() {
    if (!impl_->separateName.isEmpty()) QDBusConnection::disconnectFromBus(impl_->separateName);
}

BusConnection& BusConnection::session() {
    // Lives until exit: remote objects and notifications may still refer to it at teardown.
    static BusConnection* connection =
        new BusConnection(std::make_unique<Impl>(Impl{QDBusConnection::sessionBus(), {}}));
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

bool callerIsOwnerOf(BusConnection& bus, std::string_view callerBusName, std::string_view trustedName,
                     std::string& why) {
    if (callerBusName.empty()) {
        why = "the caller has no bus name";
        return false;
    }
    std::optional<std::uint32_t> user = bus.unixUserOf(callerBusName);
    if (!user || *user != static_cast<std::uint32_t>(::geteuid())) {
        why = "the caller runs as another user";
        return false;
    }
    std::string owner = bus.nameOwner(trustedName);
    if (owner.empty() || owner != callerBusName) {
        why = "the caller does not own " + std::string(trustedName);
        return false;
    }
    return true;
}

} // namespace vtl
