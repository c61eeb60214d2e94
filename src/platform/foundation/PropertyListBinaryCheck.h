#pragma once
// Structural check of a binary property list before it is handed to the parser: the trailer, the
// offset table and every object reference must lie inside the bytes, references must not loop, and
// the fully expanded tree (shared objects counted at each use) must stay within the given limits.
// Internal to the property-list reader.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vtl::plist_detail {

struct BinaryCheckLimits {
    int maximumDepth = 512;
    std::uint64_t maximumExpandedObjects = 1'000'000;
};

// Empty when the bytes are safe to parse, otherwise a sentence naming the fault.
std::string checkBinaryPropertyList(std::span<const std::uint8_t> bytes, const BinaryCheckLimits& limits);

// Deepest nesting of <dict> and <array> elements in an XML property list (a plain text scan).
int xmlNestingDepth(std::span<const std::uint8_t> bytes);

} // namespace vtl::plist_detail
