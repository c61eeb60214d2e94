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

    // A call on its way through the checks; the message goes as soon as it is answered.
    struct Call {
        QDBusMessage message;
        QDBusConnection connection;
        const IpcMethod* method = nullptr;
        std::size_t argumentBytes = 0;
        bool answered = false;
    };

    int refused = 0;
    std::shared_ptr<int> alive = std::make_shared<int>(0);

    static void replyError(Call& call, const char* name, const std::string& text) {
        if (call.message.isReplyRequired())
            call.connection.send(
                call.message.createErrorReply(QString::fromLatin1(name), QString::fromStdString(text)));
    }

    static void finish(Call& call) {
        call.answered = true;
        call.message = QDBusMessage();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage) return false;
        QString interface = message.interface();
        if (!interface.isEmpty() && interface != QString::fromStdString(interfaceName)) return false;
        std::string member = message.member().toStdString();
        const IpcMethod* method = nullptr;
        for (const IpcMethod& m : methods)
            if (m.name == member) method = &m;
        auto call = std::make_shared<Call>(Call{message, connection, method, argumentBytes(message)});
        if (!method) {
            replyError(*call, "org.freedesktop.DBus.Error.UnknownMethod",
                       "There is no operation " + member + ".");
            return true;
        }
        if (!callerCheck) {
            perform(*call);
            return true;
        }
        std::weak_ptr<int> guard = alive;
        std::string caller = message.service().toStdString();
        callerCheck(caller, [this, guard, call, caller](bool allowed, const std::string& why) {
            if (guard.expired() || call->answered) return;
            if (allowed) {
                perform(*call);
                return;
            }
            ++refused;
            const std::string& name = call->method->name;
            logMessage("Refused the call of " + name + " from " + caller + ": " + why + ".");
            replyError(*call, "org.freedesktop.DBus.Error.AccessDenied",
                       "The call of " + name + " is refused: " + why + ".");
            finish(*call);
        });
        // Not decided yet: a large call does not wait in memory for it.
        if (!call->answered && call->argumentBytes > method->maximumArgumentBytes) refuseSize(*call);
        return true;
    }

    static std::size_t argumentBytes(const QDBusMessage& message) {
        std::size_t bytes = 0;
        for (const QVariant& value : message.arguments()) {
            if (value.metaType().id() == QMetaType::QByteArray)
                bytes += static_cast<std::size_t>(value.toByteArray().size());
            else if (value.metaType().id() == QMetaType::QString)
                bytes += static_cast<std::size_t>(value.toString().size()) * sizeof(QChar);
            else
                bytes += 8;
        }
        return bytes;
    }

    static void refuseSize(Call& call) {
        replyError(call, "org.freedesktop.DBus.Error.LimitsExceeded",
                   "The arguments of " + call.method->name + " take " + std::to_string(call.argumentBytes) +
                       " bytes; it accepts at most " + std::to_string(call.method->maximumArgumentBytes) +
                       ".");
        finish(call);
    }

    void perform(Call& call) {
        const IpcMethod& method = *call.method;
        if (call.argumentBytes > method.maximumArgumentBytes) {
            refuseSize(call);
            return;
        }
        const std::string signature = call.message.signature().toStdString();
        if (signature != method.inSignature) {
            replyError(call, "org.freedesktop.DBus.Error.InvalidArgs",
                       method.name + " takes (" + method.inSignature + "), not (" + signature + ").");
            finish(call);
            return;
        }
        IpcArguments arguments;
        for (const QVariant& value : call.message.arguments()) {
            std::optional<IpcValue> converted = fromQVariant(value);
            if (!converted) {
                replyError(call, "org.freedesktop.DBus.Error.InvalidArgs",
                           method.name + " received a value it cannot read.");
                finish(call);
                return;
            }
            arguments.push_back(std::move(*converted));
        }
        // The handler may withdraw this object (the program quits): keep what is needed.
        auto handler = method.handler;
        std::string name = method.name;
        std::string outSignature = method.outSignature;
        QDBusMessage message = call.message;
        QDBusConnection connection = call.connection;
        finish(call);
        IpcReply result = handler ? handler(arguments) : IpcReply{};
        if (!message.isReplyRequired()) return;
        if (!result.ok()) {
            connection.send(message.createErrorReply(
                QString::fromStdString(result.errorName.empty() ? "org.freedesktop.DBus.Error.Failed"
                                                                : result.errorName),
                QString::fromStdString(result.error)));
            return;
        }
        QVariantList out;
        if (!outSignature.empty()) {
            if (!result.value || ipcSignature(*result.value) != outSignature) {
                connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                                         QString::fromStdString(name + " gave no result.")));
                return;
            }
            out << toQVariant(*result.value);
        }
        connection.send(message.createReply(out));
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
