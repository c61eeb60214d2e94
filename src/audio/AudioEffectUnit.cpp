#include "audio/AudioEffectUnit.h"

#include "audio/UnitConfigurations.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vtl {

namespace {
constexpr std::int64_t classInfoVersion = 0;
}

AudioEffectUnit::AudioEffectUnit(FourCharCode type, FourCharCode subtype, std::string name,
                                 std::vector<AudioUnitParameterInfo> parameters,
                                 std::vector<AudioUnitFactoryPreset> presets)
    : type_(type)
    , subtype_(subtype)
    , name_(std::move(name))
    , parameters_(std::move(parameters))
    , presets_(std::move(presets))
    , values_(std::make_unique<std::atomic<float>[]>(parameters_.size())) {
    for (std::size_t i = 0; i < parameters_.size(); ++i) {
        parameters_[i].parameterID = static_cast<std::uint32_t>(i);
        values_[i].store(parameters_[i].defaultValue);
    }
}

AudioEffectUnit::~AudioEffectUnit() = default;

std::optional<float> AudioEffectUnit::parameter(std::uint32_t parameterID) const {
    if (parameterID >= parameters_.size()) return std::nullopt;
    return value(parameterID);
}

void AudioEffectUnit::storeParameter(std::size_t index, float value) {
    const auto& info = parameters_[index];
    value = std::clamp(value, info.minValue, info.maxValue);
    if (info.unit == AudioUnitParameterUnit::Indexed) value = std::round(value);
    values_[index].store(value, std::memory_order_relaxed);
    version_.fetch_add(1, std::memory_order_release);
}

bool AudioEffectUnit::setParameter(std::uint32_t parameterID, float value) {
    if (parameterID >= parameters_.size() || !std::isfinite(value)) return false;
    storeParameter(parameterID, value);
    if (listener_) listener_(parameterID, this->value(parameterID));
    return true;
}

std::vector<AudioUnitPreset> AudioEffectUnit::factoryPresets() const {
    std::vector<AudioUnitPreset> list;
    list.reserve(presets_.size());
    for (const auto& p : presets_)
        list.push_back(p.preset);
    return list;
}

bool AudioEffectUnit::selectFactoryPreset(std::int32_t presetNumber) {
    auto it = std::find_if(presets_.begin(), presets_.end(),
                           [&](const auto& p) { return p.preset.presetNumber == presetNumber; });
    if (it == presets_.end()) return false;
    for (std::size_t i = 0; i < parameters_.size(); ++i)
        storeParameter(i, parameters_[i].defaultValue);
    for (const auto& [id, v] : it->values)
        if (id < parameters_.size()) storeParameter(id, v);
    presentPreset_ = it->preset;
    return true;
}

PropertyList AudioEffectUnit::classInfo() const {
    PropertyList values = PropertyList::dictionary();
    for (std::size_t i = 0; i < parameters_.size(); ++i)
        values.set(std::to_string(i), static_cast<double>(value(i)));
    PropertyList info = PropertyList::dictionary();
    info.set("version", classInfoVersion);
    info.set("type", static_cast<std::int64_t>(type_));
    info.set("subtype", static_cast<std::int64_t>(subtype_));
    info.set("name", presentPreset_ ? presentPreset_->presetName : std::string("Untitled"));
    info.set("parameters", std::move(values));
    return info;
}

Status AudioEffectUnit::setClassInfo(const PropertyList& classInfo) {
    if (!classInfo.isDictionary()) return fail("The effect settings are not a dictionary.");
    if (auto subtype = classInfo.integerForKey("subtype");
        subtype && *subtype != static_cast<std::int64_t>(subtype_))
        return fail("The effect settings belong to another kind of effect.");
    if (auto type = classInfo.integerForKey("type"); type && *type != static_cast<std::int64_t>(type_))
        return fail("The effect settings belong to another kind of effect.");
    if (const PlistDictionary* values = classInfo.dictionaryForKey("parameters")) {
        for (const auto& [key, stored] : *values) {
            std::uint32_t id = 0;
            const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), id);
            if (error != std::errc() || end != key.data() + key.size() || id >= parameters_.size()) continue;
            std::optional<double> number = stored.numberValue();
            if (!number || !std::isfinite(*number)) continue;
            storeParameter(id, static_cast<float>(std::clamp(*number, -1e30, 1e30)));
        }
    }
    // A name other than the present preset's marks the state as the user's own, unless it is the
    // settings of a unit that had no preset at all: restoring those leaves the unit untouched.
    const bool untouched = !presentPreset_ && !classInfo.dataForKey(unitconfig::presetDataKey);
    if (const std::string* name = classInfo.stringForKey("name");
        name && (presentPreset_ ? presentPreset_->presetName != *name : !(untouched && *name == "Untitled")))
        presentPreset_ = AudioUnitPreset{-1, *name};
    return {};
}

void AudioEffectUnit::prepare(double sampleRate, std::size_t maximumFrames) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 44100;
    prepareDsp(sampleRate_, maximumFrames);
    resetDsp();
    updateDsp();
    seenVersion_ = version_.load(std::memory_order_acquire);
    resetRequested_.store(false);
}

void AudioEffectUnit::process(float* left, float* right, std::size_t frames) noexcept {
    if (resetRequested_.exchange(false, std::memory_order_acq_rel)) resetDsp();
    const std::uint32_t version = version_.load(std::memory_order_acquire);
    if (version != seenVersion_) {
        seenVersion_ = version;
        updateDsp();
    }
    processDsp(left, right, frames);
}

} // namespace vtl
