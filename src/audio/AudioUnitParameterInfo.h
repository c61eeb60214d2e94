#pragma once
// Description of one parameter of an effect unit (what the generic parameter view shows), and of
// one factory preset. Plain values.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vtl {

enum class AudioUnitParameterUnit {
    Generic,
    Indexed,
    Percent,
    Seconds,
    Hertz,
    Cents,
    Decibels,
    Ratio,
    LinearGain
};

struct AudioUnitParameterInfo {
    std::uint32_t parameterID = 0;
    std::string name;
    AudioUnitParameterUnit unit = AudioUnitParameterUnit::Generic;
    float minValue = 0;
    float maxValue = 1;
    float defaultValue = 0;
    // Names of the values of an indexed parameter, from minValue on.
    std::vector<std::string> valueNames;
};

inline AudioUnitParameterInfo unitParameter(std::string name, AudioUnitParameterUnit unit, float minValue,
                                            float maxValue, float defaultValue,
                                            std::vector<std::string> valueNames = {}) {
    AudioUnitParameterInfo p;
    p.name = std::move(name);
    p.unit = unit;
    p.minValue = minValue;
    p.maxValue = maxValue;
    p.defaultValue = defaultValue;
    p.valueNames = std::move(valueNames);
    return p;
}

struct AudioUnitPreset {
    std::int32_t presetNumber = 0;
    std::string presetName;
    friend bool operator==(const AudioUnitPreset&, const AudioUnitPreset&) = default;
};

// A factory preset: its number and name and the parameter values it sets (others keep theirs).
struct AudioUnitFactoryPreset {
    AudioUnitPreset preset;
    std::vector<std::pair<std::uint32_t, float>> values;
};

} // namespace vtl
