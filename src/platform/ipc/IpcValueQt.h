#pragma once
// Conversions between IpcValue and the values of Qt's D-Bus messages (ipc sources only).

#include "platform/ipc/IpcValue.h"

#include <QVariant>
#include <QVariantList>
#include <optional>

namespace vtl {

QVariant toQVariant(const IpcValue& value);
// nullopt for a value of a type that does not travel in remote calls here.
std::optional<IpcValue> fromQVariant(const QVariant& value);

} // namespace vtl
