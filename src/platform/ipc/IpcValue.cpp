#include "platform/ipc/IpcValue.h"

#include "platform/ipc/IpcValueQt.h"

#include <QByteArray>
#include <QString>

namespace vtl {

const char* ipcSignature(const IpcValue& value) {
    switch (value.index()) {
    case 0:
        return "b";
    case 1:
        return "i";
    case 2:
        return "u";
    case 3:
        return "s";
    default:
        return "ay";
    }
}

QVariant toQVariant(const IpcValue& value) {
    if (auto* b = std::get_if<bool>(&value)) return QVariant(*b);
    if (auto* i = std::get_if<std::int32_t>(&value)) return QVariant(static_cast<int>(*i));
    if (auto* u = std::get_if<std::uint32_t>(&value)) return QVariant(static_cast<uint>(*u));
    if (auto* s = std::get_if<std::string>(&value)) return QVariant(QString::fromStdString(*s));
    const auto& bytes = std::get<IpcBytes>(value);
    return QVariant(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
}

// GCC 12 reports the inactive members of a variant inside an optional as maybe uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
std::optional<IpcValue> fromQVariant(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return IpcValue(value.toBool());
    case QMetaType::Int:
        return IpcValue(static_cast<std::int32_t>(value.toInt()));
    case QMetaType::UInt:
        return IpcValue(static_cast<std::uint32_t>(value.toUInt()));
    case QMetaType::QString:
        return IpcValue(value.toString().toStdString());
    case QMetaType::QByteArray: {
        QByteArray bytes = value.toByteArray();
        return IpcValue(IpcBytes(bytes.begin(), bytes.end()));
    }
    default:
        return std::nullopt;
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

} // namespace vtl
