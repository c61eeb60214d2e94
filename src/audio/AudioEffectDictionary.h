#pragma once
// The effect dictionary: one effect of a track's chain as stored by audio tracks, created by the
// media library and read by playback and export. Keys "AudioUnitType" and "filter" hold the
// effect's four-character codes as numbers; "name", "displayName" and "audio" serve the interface.
// Only type and subtype take part in building a chain.

#include "audio/FourCharCode.h"
#include "platform/foundation/PropertyList.h"

#include <optional>
#include <span>
#include <string_view>

namespace vtl {

namespace audioeffect {

constexpr std::string_view typeKey = "AudioUnitType";
constexpr std::string_view subtypeKey = "filter";
constexpr std::string_view displayNameKey = "displayName";
constexpr std::string_view nameKey = "name";
constexpr std::string_view audioKey = "audio";

constexpr FourCharCode effectType = fourCharCode("aufx");
constexpr FourCharCode mixerType = fourCharCode("aumx");
constexpr FourCharCode stereoMixerSubtype = fourCharCode("smxr");

// One of the built-in effects the media library offers, in its order.
struct BuiltInEffect {
    std::string_view name;
    FourCharCode subtype;
};
std::span<const BuiltInEffect> builtInEffects();

// {"AudioUnitType": type, "filter": subtype, "name": name, "displayName": displayName, "audio": YES}.
PropertyList makeEffectDictionary(FourCharCode type, FourCharCode subtype, std::string_view name = {},
                                  std::string_view displayName = {});
// The dictionary the exporter mixes a track without effects through: the stereo mixer.
PropertyList stereoMixerDictionary();

struct EffectKind {
    FourCharCode type = 0;
    FourCharCode subtype = 0;
    friend bool operator==(const EffectKind&, const EffectKind&) = default;
};
// Type and subtype of a dictionary; nothing when either is missing or not a 32-bit number.
std::optional<EffectKind> effectKind(const PropertyList& dictionary);

} // namespace audioeffect

} // namespace vtl
