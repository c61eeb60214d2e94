#include "audio/AudioEffectDictionary.h"

#include <array>

namespace vtl::audioeffect {

std::span<const BuiltInEffect> builtInEffects() {
    static constexpr std::array<BuiltInEffect, 14> effects = {{
        {"LowPassFilter", fourCharCode("lpas")},
        {"HighPassFilter", fourCharCode("hpas")},
        {"LowShelfFilter", fourCharCode("lshf")},
        {"HighShelfFilter", fourCharCode("hshf")},
        {"ParametricEQ", fourCharCode("pmeq")},
        {"GraphicEQ", fourCharCode("greq")},
        {"PeakLimiter", fourCharCode("lmtr")},
        {"DynamicsProcessor", fourCharCode("dcmp")},
        {"MultiBandCompressor", fourCharCode("mcmp")},
        {"Distortion", fourCharCode("dist")},
        {"Reverb", fourCharCode("mrev")},
        {"Filter", fourCharCode("filt")},
        {"Pitch", fourCharCode("tmpt")},
        {"Delay", fourCharCode("dely")},
    }};
    return effects;
}

PropertyList makeEffectDictionary(FourCharCode type, FourCharCode subtype, std::string_view name,
                                  std::string_view displayName) {
    PropertyList d = PropertyList::dictionary();
    d.set(std::string(typeKey), static_cast<std::int64_t>(type));
    d.set(std::string(subtypeKey), static_cast<std::int64_t>(subtype));
    if (!name.empty()) d.set(std::string(nameKey), name);
    if (!displayName.empty()) d.set(std::string(displayNameKey), displayName);
    d.set(std::string(audioKey), true);
    return d;
}

PropertyList stereoMixerDictionary() {
    PropertyList d = PropertyList::dictionary();
    d.set(std::string(subtypeKey), static_cast<std::int64_t>(stereoMixerSubtype));
    d.set(std::string(typeKey), static_cast<std::int64_t>(mixerType));
    return d;
}

std::optional<EffectKind> effectKind(const PropertyList& dictionary) {
    auto code = [&](std::string_view key) -> std::optional<FourCharCode> {
        const PropertyList* value = dictionary.get(key);
        if (!value) return std::nullopt;
        std::optional<double> number = value->numberValue();
        if (!number || *number < 0 || *number > 4294967295.0 ||
            *number != static_cast<double>(static_cast<std::int64_t>(*number)))
            return std::nullopt;
        return static_cast<FourCharCode>(*number);
    };
    auto type = code(typeKey);
    auto subtype = code(subtypeKey);
    if (!type || !subtype) return std::nullopt;
    return EffectKind{*type, *subtype};
}

} // namespace vtl::audioeffect
