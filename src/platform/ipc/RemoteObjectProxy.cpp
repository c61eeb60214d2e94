#include "platform/ipc/RemoteObjectProxy.h"

#include "platform/ipc/BusConnectionPrivate.h"
#include "platform/ipc/IpcValueQt.h"
#include "platform/ipc/VistrelBusNames.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace vtl {

namespace {

QDBusMessage makeCall(const std::string& destination, const std::string& interfaceName,
                      std::string_view method, const IpcArguments& arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QString::fromStdString(destination), toQString(kObjectPath),
                                       QString::fromStdString(interfaceName), toQString(method));
    // Nothing is started on demand: the peer is there or the call fails.
    message.setAutoStartService(false);
    QVariantList values;
    for (const IpcValue& value : arguments)
        values << toQVariant(value);
    message.setArguments(values);
    return message;
}

IpcReply replyFrom(const QDBusMessage& answer, std::string_view method) {
    IpcReply reply;
    if (answer.type() == QDBusMessage::ErrorMessage) {
        reply.errorName = answer.errorName().toStdString();
        reply.error = answer.errorMessage().toStdString();
        if (reply.error.empty())
            reply.error = "The call of " + std::string(method) + " failed (" + reply.errorName + ").";
        return reply;
    }
    if (answer.type() != QDBusMessage::ReplyMessage) {
        reply.error = "The call of " + std::string(method) + " got no answer.";
        return reply;
    }
    if (!answer.arguments().isEmpty()) {
        reply.value = fromQVariant(answer.arguments().constFirst());
        if (!reply.value) reply.error = "The answer to " + std::string(method) + " cannot be read.";
    }
    return reply;
}

} // namespace

RemoteObjectProxy::RemoteObjectProxy(BusConnection& bus, std::string destination, std::string interfaceName)
    : bus_(&bus)
    , destination_(std::move(destination))
    , interfaceName_(std::move(interfaceName)) {}

IpcReply RemoteObjectProxy::call(std::string_view method, const IpcArguments& arguments,
                                 int timeoutMilliseconds) const {
    if (isNil()) return {};
    QDBusMessage answer = bus_->impl().connection.call(
        makeCall(destination_, interfaceName_, method, arguments),
        handlesEvents_ ? QDBus::BlockWithGui : QDBus::Block, timeoutMilliseconds);
    return replyFrom(answer, method);
}

void RemoteObjectProxy::callThen(std::string_view method, const IpcArguments& arguments,
                                 int timeoutMilliseconds,
                                 std::function<void(const IpcReply&)> answered) const {
    if (isNil()) {
        if (answered) answered({});
        return;
    }
    auto* pending = new QDBusPendingCallWatcher(bus_->impl().connection.asyncCall(
        makeCall(destination_, interfaceName_, method, arguments), timeoutMilliseconds));
    QObject::connect(pending, &QDBusPendingCallWatcher::finished,
                     [pending, name = std::string(method), answered = std::move(answered)] {
                         pending->deleteLater();
                         if (answered) answered(replyFrom(pending->reply(), name));
                     });
}

bool RemoteObjectProxy::send(std::string_view method, const IpcArguments& arguments) const {
    if (isNil()) return true;
    // QDBusConnection::send marks a method call as wanting no reply.
    return bus_->impl().connection.send(makeCall(destination_, interfaceName_, method, arguments));
}

} // namespace vtl
