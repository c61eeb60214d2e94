#include "platform/ipc/NameOwnerWatcher.h"

#include "platform/ipc/BusConnectionPrivate.h"

#include <QDBusServiceWatcher>

namespace vtl {

struct NameOwnerWatcher::Impl {
    std::unique_ptr<QDBusServiceWatcher> watcher;
};

NameOwnerWatcher::NameOwnerWatcher(BusConnection& bus, std::string name, Handler handler)
    : impl_(std::make_unique<Impl>()) {
    impl_->watcher = std::make_unique<QDBusServiceWatcher>(
        QString::fromStdString(name), bus.impl().connection, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(
        impl_->watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged,
        [handler = std::move(handler)](const QString&, const QString& oldOwner, const QString& newOwner) {
            handler(oldOwner.toStdString(), newOwner.toStdString());
        });
}

NameOwnerWatcher::~NameOwnerWatcher() = default;

} // namespace vtl
