#include "platform/ipc/RemoteObjectServer.h"

#include "platform/foundation/Log.h"
#include "platform/ipc/BusConnectionPrivate.h"
#include "platform/ipc/IpcValueQt.h"
#include "platform/ipc/VistrelBusNames.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>

namespace vtl {

namespace {

QString introspectionArguments(const std::string& signature, const char* direction) {
    QString xml;
    // Signatures here are sequences of single values: "ay" is one value, other codes are one letter.
    for (std::size_t i = 0; i < signature.size(); ++i) {
        std::string type(1, signature[i]);
        if (signature[i] == 'a' && i + 1 < signature.size()) type += signature[++i];
        xml += QStringLiteral("      <arg type=\"%1\" direction=\"%2\"/>\n")
                   .arg(QString::fromStdString(type), QString::fromLatin1(direction));
    }
    return xml;
}

} // namespace

struct RemoteObjectServer::Impl final : public QDBusVirtualObject {
    BusConnection* bus = nullptr;
    std::string interfaceName;
    std::vector<IpcMethod> methods;
    IpcCallerCheck callerCheck;
    int refused = 0;

    QString introspect(const QString&) const override {
        QString xml =
            QStringLiteral("  <interface name=\"%1\">\n").arg(QString::fromStdString(interfaceName));
        for (const IpcMethod& method : methods) {
            xml += QStringLiteral("    <method name=\"%1\">\n").arg(QString::fromStdString(method.name));
            xml += introspectionArguments(method.inSignature, "in");
            xml += introspectionArguments(method.outSignature, "out");
            if (method.oneWay)
                xml += QStringLiteral(
                    "      <annotation name=\"org.freedesktop.DBus.Method.NoReply\" value=\"true\"/>\n");
            xml += QStringLiteral("    </method>\n");
        }
        xml += QStringLiteral("  </interface>\n");
        return xml;
    }

    void replyError(const QDBusMessage& message, const QDBusConnection& connection, const char* name,
                    const std::string& text) {
        if (message.isReplyRequired())
            connection.send(
                message.createErrorReply(QString::fromLatin1(name), QString::fromStdString(text)));
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage) return false;
        QString interface = message.interface();
        if (!interface.isEmpty() && interface != QString::fromStdString(interfaceName)) return false;
        std::string member = message.member().toStdString();
        const IpcMethod* method = nullptr;
        for (const IpcMethod& m : methods)
            if (m.name == member) method = &m;
        if (!method) {
            replyError(message, connection, "org.freedesktop.DBus.Error.UnknownMethod",
                       "There is no operation " + member + ".");
            return true;
        }
        std::string why;
        std::string caller = message.service().toStdString();
        if (callerCheck && !callerCheck(caller, why)) {
            ++refused;
            logMessage("Refused the call of " + member + " from " + caller + ": " + why + ".");
            replyError(message, connection, "org.freedesktop.DBus.Error.AccessDenied",
                       "The call of " + member + " is refused: " + why + ".");
            return true;
        }
        if (message.signature().toStdString() != method->inSignature) {
            replyError(message, connection, "org.freedesktop.DBus.Error.InvalidArgs",
                       member + " takes (" + method->inSignature + "), not (" +
                           message.signature().toStdString() + ").");
            return true;
        }
        IpcArguments arguments;
        for (const QVariant& value : message.arguments()) {
            std::optional<IpcValue> converted = fromQVariant(value);
            if (!converted) {
                replyError(message, connection, "org.freedesktop.DBus.Error.InvalidArgs",
                           member + " received a value it cannot read.");
                return true;
            }
            arguments.push_back(std::move(*converted));
        }
        // The handler may withdraw this object (the program quits): keep what is needed.
        auto handler = method->handler;
        std::string outSignature = method->outSignature;
        IpcReply result = handler ? handler(arguments) : IpcReply{};
        if (!message.isReplyRequired()) return true;
        if (!result.ok()) {
            replyError(message, connection,
                       result.errorName.empty() ? "org.freedesktop.DBus.Error.Failed"
                                                : result.errorName.c_str(),
                       result.error);
            return true;
        }
        QVariantList out;
        if (!outSignature.empty()) {
            if (!result.value || ipcSignature(*result.value) != outSignature) {
                connection.send(
                    message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                             QString::fromStdString(member + " gave no result.")));
                return true;
            }
            out << toQVariant(*result.value);
        }
        connection.send(message.createReply(out));
        return true;
    }
};

RemoteObjectServer::RemoteObjectServer(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)) {}

std::unique_ptr<RemoteObjectServer> RemoteObjectServer::create(BusConnection& bus, std::string interfaceName,
                                                               std::vector<IpcMethod> methods,
                                                               IpcCallerCheck callerCheck,
                                                               std::string& error) {
    if (!bus.isConnected()) {
        error = "The session bus cannot be reached: " + bus.lastError();
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->bus = &bus;
    impl->interfaceName = std::move(interfaceName);
    impl->methods = std::move(methods);
    impl->callerCheck = std::move(callerCheck);
    if (!bus.impl().connection.registerVirtualObject(toQString(kObjectPath), impl.get(),
                                                     QDBusConnection::SingleNode)) {
        error = "The object path / is already served on this connection.";
        return nullptr;
    }
    return std::unique_ptr<RemoteObjectServer>(new RemoteObjectServer(std::move(impl)));
}

RemoteObjectServer::~RemoteObjectServer() {
    impl_->bus->impl().connection.unregisterObject(toQString(kObjectPath));
}

int RemoteObjectServer::refusedCalls() const {
    return impl_->refused;
}

} // namespace vtl
