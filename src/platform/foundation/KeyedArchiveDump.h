#pragma once
// A readable text form of a keyed archive's object graph for developers: the class of each object,
// each key with its decoded value, indented by nesting; an object met again is printed as a
// reference to where it was shown. Works on any archive in the standard layout, without the class
// registry. Stateless.

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <span>
#include <string>

namespace vtl {

// The text, or an error for a damaged archive (one sentence).
Result<std::string> dumpKeyedArchive(std::span<const std::uint8_t> bytes);

} // namespace vtl
