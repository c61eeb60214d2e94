#include "platform/ipc/ScreenSaverInhibitor.h"

#include "platform/ipc/BusConnectionPrivate.h"
#include "platform/ipc/IpcValueQt.h"

#include <QDBusMessage>

namespace vtl {

namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";

// The service lives at its own object path, not at "/" where the proxies of this layer call.
IpcReply callScreenSaver(BusConnection& bus, std::string_view method, const IpcArguments& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kService),
                                                          QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                          QString::fromLatin1(kService), toQString(method));
    message.setAutoStartService(false);
    QVariantList values;
    for (const IpcValue& value : arguments)
        values << toQVariant(value);
    message.setArguments(values);
    QDBusMessage answer = bus.impl().connection.call(message, QDBus::Block, 5000);
    IpcReply reply;
    if (answer.type() != QDBusMessage::ReplyMessage) {
        reply.errorName = answer.errorName().toStdString();
        reply.error = "The screen-saver service refused " + std::string(method) + ": " +
                      answer.errorMessage().toStdString();
        return reply;
    }
    if (!answer.arguments().isEmpty()) reply.value = fromQVariant(answer.arguments().constFirst());
    return reply;
}

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(BusConnection& bus)
    : bus_(&bus) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    std::string ignored;
    if (inhibited_) release(ignored);
}

bool ScreenSaverInhibitor::inhibit(std::string_view applicationName, std::string_view reason,
                                   std::string& error) {
    if (inhibited_) return true;
    if (!bus_->hasOwner(kService)) {
        error = "There is no screen-saver service on the session bus.";
        return false;
    }
    IpcReply reply = callScreenSaver(*bus_, "Inhibit", {std::string(applicationName), std::string(reason)});
    const std::uint32_t* cookie = reply.value ? std::get_if<std::uint32_t>(&*reply.value) : nullptr;
    if (!reply || !cookie) {
        error = reply ? "The screen-saver service gave no cookie." : reply.error;
        return false;
    }
    cookie_ = *cookie;
    inhibited_ = true;
    return true;
}

bool ScreenSaverInhibitor::release(std::string& error) {
    if (!inhibited_) return true;
    inhibited_ = false;
    IpcReply reply = callScreenSaver(*bus_, "UnInhibit", {cookie_});
    if (!reply) {
        error = reply.error;
        return false;
    }
    return true;
}

} // namespace vtl
