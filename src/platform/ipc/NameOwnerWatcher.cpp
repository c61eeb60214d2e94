#include "platform/ipc/NameOwnerWatcher.h"

#include "platform/ipc/BusConnectionPrivate.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <optional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vtl {

namespace {

QDBusMessage busCall(const char* method, const std::string& argument) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
    message << QString::fromStdString(argument);
    return message;
}

} // namespace

struct NameOwnerWatcher::Impl {
    BusConnection* bus = nullptr;
    std::string name;
    Handler handler;
    // Parent of the pending answers: they go with the watcher.
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<QDBusServiceWatcher> watcher;
    bool ownerKnown = false;
    std::string owner;
    bool userAnswered = false;
    std::optional<std::uint32_t> ownerUser;
    // This process's user as the bus sees it (a user namespace may show another one inside).
    bool ownUserAnswered = false;
    std::optional<std::uint32_t> ownUser;
    std::vector<std::pair<std::string, Judgement>> waiting;
    std::shared_ptr<int> alive = std::make_shared<int>(0);

    template <class Answer> void ask(const QDBusMessage& message, Answer answer) {
        auto* pending = new QDBusPendingCallWatcher(bus->impl().connection.asyncCall(message), context.get());
        QObject::connect(pending, &QDBusPendingCallWatcher::finished, context.get(),
                         [pending, answer = std::move(answer)] {
                             pending->deleteLater();
                             answer(pending->reply());
                         });
    }

    void setOwner(const std::string& newOwner) {
        if (ownerKnown && newOwner == owner) return;
        ownerKnown = true;
        owner = newOwner;
        ownerUser.reset();
        userAnswered = owner.empty();
        if (!owner.empty()) {
            ask(busCall("GetConnectionUnixUser", owner), [this, asked = owner](const QDBusMessage& reply) {
                if (asked != owner) return;
                userAnswered = true;
                if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                    ownerUser = reply.arguments().constFirst().toUInt();
                settle();
            });
        }
        settle();
    }

    // nullopt while the answer depends on what the bus has not said yet.
    std::optional<std::pair<bool, std::string>> decide(const std::string& caller) const {
        if (caller.empty()) return std::pair(false, std::string("the caller has no bus name"));
        if (!ownerKnown) return std::nullopt;
        if (owner.empty() || caller != owner) return std::pair(false, "the caller does not own " + name);
        if (!userAnswered || !ownUserAnswered) return std::nullopt;
        if (!ownerUser) return std::pair(false, std::string("the caller's user is not known"));
        if (*ownerUser != ownUser.value_or(static_cast<std::uint32_t>(::geteuid())))
            return std::pair(false, std::string("the caller runs as another user"));
        return std::pair(true, std::string());
    }

    void settle() {
        std::weak_ptr<int> guard = alive;
        std::size_t i = 0;
        while (i < waiting.size()) {
            std::optional<std::pair<bool, std::string>> verdict = decide(waiting[i].first);
            if (!verdict) {
                ++i;
                continue;
            }
            Judgement judgement = std::move(waiting[i].second);
            waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
            judgement(verdict->first, verdict->second);
            // A judgement may end the watcher's owner and with it the watcher.
            if (guard.expired()) return;
        }
    }
};

NameOwnerWatcher::NameOwnerWatcher(BusConnection& bus, std::string name, Handler handler)
    : impl_(std::make_unique<Impl>()) {
    Impl* impl = impl_.get();
    impl->bus = &bus;
    impl->name = std::move(name);
    impl->handler = std::move(handler);
    impl->watcher = std::make_unique<QDBusServiceWatcher>(
        QString::fromStdString(impl->name), bus.impl().connection, QDBusServiceWatcher::WatchForOwnerChange);
    // Every change after this point comes as a signal, in order among themselves; the first
    // answer only stands for what came before, and may arrive after later signals.
    QObject::connect(impl->watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, impl->context.get(),
                     [impl](const QString&, const QString& oldOwner, const QString& newOwner) {
                         std::weak_ptr<int> guard = impl->alive;
                         impl->setOwner(newOwner.toStdString());
                         if (!guard.expired() && impl->handler)
                             impl->handler(oldOwner.toStdString(), newOwner.toStdString());
                     });
    impl->ask(busCall("GetConnectionUnixUser", bus.uniqueName()), [impl](const QDBusMessage& reply) {
        impl->ownUserAnswered = true;
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            impl->ownUser = reply.arguments().constFirst().toUInt();
        impl->settle();
    });
    impl->ask(busCall("GetNameOwner", impl->name), [impl](const QDBusMessage& reply) {
        if (impl->ownerKnown) return;
        // No owner, or no bus to ask: nobody may call.
        bool owned = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
        impl->setOwner(owned ? reply.arguments().constFirst().toString().toStdString() : std::string());
    });
}

NameOwnerWatcher::~NameOwnerWatcher() = default;

const std::string& NameOwnerWatcher::name() const {
    return impl_->name;
}

const std::string& NameOwnerWatcher::owner() const {
    return impl_->owner;
}

bool NameOwnerWatcher::ownerKnown() const {
    return impl_->ownerKnown;
}

void NameOwnerWatcher::judgeCaller(const std::string& callerBusName, Judgement judgement) {
    if (std::optional<std::pair<bool, std::string>> verdict = impl_->decide(callerBusName)) {
        judgement(verdict->first, verdict->second);
        return;
    }
    if (impl_->waiting.size() >= kMaximumWaitingJudgements) {
        judgement(false, "too many callers wait for " + impl_->name + "'s owner to be known");
        return;
    }
    impl_->waiting.emplace_back(callerBusName, std::move(judgement));
}

} // namespace vtl
