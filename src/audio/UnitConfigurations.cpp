#include "audio/UnitConfigurations.h"

#include <charconv>

namespace vtl::unitconfig {

PlistBytes encodePresetData(std::int32_t presetNumber) {
    PlistBytes bytes(presetDataBytes, 0);
    const auto value = static_cast<std::uint32_t>(presetNumber);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::optional<std::int32_t> presetNumber(const PlistBytes& presetData) {
    if (presetData.size() < 4) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(presetData[static_cast<std::size_t>(i)]) << (8 * i);
    return static_cast<std::int32_t>(value);
}

PropertyList toPropertyList(const UnitConfigurations& configurations) {
    PropertyList dictionary = PropertyList::dictionary();
    for (const auto& [subtype, info] : configurations)
        dictionary.set(std::to_string(subtype), info);
    return dictionary;
}

UnitConfigurations fromPropertyList(const PropertyList& dictionary) {
    UnitConfigurations configurations;
    const PlistDictionary* entries = dictionary.dictionaryValue();
    if (!entries) return configurations;
    for (const auto& [key, value] : *entries) {
        FourCharCode subtype = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), subtype);
        if (error != std::errc() || end != key.data() + key.size() || !value.isDictionary()) continue;
        configurations[subtype] = value;
    }
    return configurations;
}

} // namespace vtl::unitconfig
