#pragma once
// The unit-configuration dictionary: the saved state of a whole chain, kept by the audio track
// beside its effect dictionaries. Keyed by subtype ("filter"), so units of the same subtype share
// one entry; each value is the unit's class information, to which "presetData" may be added.
// In a property list the keys are the subtypes written as decimal numbers.

#include "audio/FourCharCode.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

namespace vtl {

using UnitConfigurations = std::map<FourCharCode, PropertyList>;

namespace unitconfig {

constexpr std::string_view presetDataKey = "presetData";
constexpr std::size_t presetDataBytes = 16;

// The present-preset record: preset number (signed 32-bit little-endian), 4 bytes of padding,
// and 8 bytes where the platform kept a reference to the name (zero here).
PlistBytes encodePresetData(std::int32_t presetNumber);
// The preset number of a record; nothing for a block shorter than the number.
std::optional<std::int32_t> presetNumber(const PlistBytes& presetData);

PropertyList toPropertyList(const UnitConfigurations& configurations);
// Entries whose key is not a subtype or whose value is not a dictionary are left out.
UnitConfigurations fromPropertyList(const PropertyList& dictionary);

} // namespace unitconfig

} // namespace vtl
