#pragma once
// The Qt side of BusConnection, shared by the ipc sources only.

#include "platform/ipc/BusConnection.h"

#include <QDBusConnection>
#include <QString>
#include <string>
#include <string_view>

namespace vtl {

struct BusConnection::Impl {
    QDBusConnection connection;
    QString separateName; // set for connections that must be disconnected at the end
};

inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    return text.toStdString();
}

} // namespace vtl
