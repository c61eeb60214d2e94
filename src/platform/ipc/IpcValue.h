#pragma once
// The argument and result values that travel in remote calls: booleans ("b"), signed and unsigned
// 32-bit integers ("i", "u"), strings ("s") and bytes ("ay"; property lists travel as their
// binary form).

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vtl {

using IpcBytes = std::vector<std::uint8_t>;
using IpcValue = std::variant<bool, std::int32_t, std::uint32_t, std::string, IpcBytes>;
using IpcArguments = std::vector<IpcValue>;

// The D-Bus type code of a value ("b", "i", "u", "s", "ay").
const char* ipcSignature(const IpcValue& value);

// The result of a remote call: the returned value (none for a method without one) or an error.
struct IpcReply {
    std::optional<IpcValue> value;
    std::string errorName; // the bus's error name, e.g. "org.freedesktop.DBus.Error.AccessDenied"
    std::string error;     // a plain sentence
    bool ok() const { return error.empty(); }
    explicit operator bool() const { return ok(); }
};

} // namespace vtl
