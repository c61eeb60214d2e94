#pragma once
// Structural check of a binary property list before it is handed to the parser: the trailer, the
// offset table and every object reference must lie inside the bytes, references must not loop, and
// the fully expanded tree (shared objects counted at each use) must stay within the given limits,
// and dictionary keys must be text without NUL characters.
// Internal to the property-list reader.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vtl::plist_detail {

struct BinaryCheckLimits {
    int maximumDepth = 512;
    std::uint64_t maximumExpandedObjects = 1'000'000;
    // Bytes of text and data in the expanded tree: a large string shared by many references is
    // copied at each one.
    std::uint64_t maximumExpandedBytes = std::uint64_t(64) << 20;
};

// Success when the bytes are safe to parse, otherwise a sentence naming the fault.
Status checkBinaryPropertyList(std::span<const std::uint8_t> bytes, const BinaryCheckLimits& limits);

// True when XML text holds a NUL character, raw or as a character reference (apart from
// terminating NULs); the parser cannot represent such keys.
bool xmlHasNulCharacter(std::span<const std::uint8_t> bytes);

// Deepest nesting of <dict> and <array> elements in an XML property list (a plain text scan).
int xmlNestingDepth(std::span<const std::uint8_t> bytes);

} // namespace vtl::plist_detail
