#include "audio/AudioEffectChain.h"

#include "audio/AudioEffectDictionary.h"
#include "audio/AudioUnitFactory.h"
#include "platform/foundation/Log.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace vtl {

namespace {

// Decaying feedback (reverb tails, filter states) must not fall into denormals, which are slow.
class FlushDenormals {
public:
    FlushDenormals() {
#if defined(__SSE__)
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | 0x8040); // flush to zero, denormals are zero
#endif
    }
    ~FlushDenormals() {
#if defined(__SSE__)
        _mm_setcsr(saved_);
#endif
    }

private:
    unsigned saved_ = 0;
};

} // namespace

AudioEffectChain::AudioEffectChain(const std::vector<PropertyList>& effectDictionaries) {
    units_.reserve(effectDictionaries.size());
    for (const PropertyList& dictionary : effectDictionaries) {
        std::unique_ptr<AudioEffectUnit> unit;
        if (auto kind = audioeffect::effectKind(dictionary)) {
            unit = makeAudioEffectUnit(kind->type, kind->subtype);
            if (!unit)
                logOnce("audio.effect." + fourCharCodeText(kind->type) + fourCharCodeText(kind->subtype),
                        "The effect '" + fourCharCodeText(kind->subtype) +
                            "' is not available; the track plays without it.");
        } else {
            logOnce("audio.effect.malformed", "An effect without a valid type and subtype is left out.");
        }
        units_.push_back(std::move(unit));
    }
}

void AudioEffectChain::prepare(double sampleRate, std::size_t maximumFrames) {
    for (auto& unit : units_)
        if (unit) unit->prepare(sampleRate, maximumFrames);
}

void AudioEffectChain::requestReset() {
    for (auto& unit : units_)
        if (unit) unit->requestReset();
}

void AudioEffectChain::process(float* left, float* right, std::size_t frames) noexcept {
    if (units_.empty()) return;
    FlushDenormals flush;
    for (auto& unit : units_)
        if (unit) unit->process(left, right, frames);
}

UnitConfigurations AudioEffectChain::saveConfigurations() const {
    UnitConfigurations configurations;
    for (const auto& unit : units_) {
        if (!unit) continue;
        PropertyList info = unit->classInfo();
        if (auto preset = unit->presentPreset())
            info.set(std::string(unitconfig::presetDataKey),
                     unitconfig::encodePresetData(preset->presetNumber));
        configurations[unit->subtype()] = std::move(info);
    }
    return configurations;
}

void AudioEffectChain::configureUnit(AudioEffectUnit& unit, const PropertyList& configuration) {
    if (const PlistBytes* presetData = configuration.dataForKey(unitconfig::presetDataKey);
        presetData && !presetData->empty()) {
        // A user preset (negative) is not selected: the class information carries its values.
        if (auto number = unitconfig::presetNumber(*presetData); number && *number >= 0)
            unit.selectFactoryPreset(*number);
    }
    if (auto status = unit.setClassInfo(configuration); !status)
        logMessage("The settings of the effect '" + fourCharCodeText(unit.subtype()) +
                   "' could not be applied: " + status.error());
}

void AudioEffectChain::restoreConfigurations(const UnitConfigurations& configurations) {
    for (const auto& [subtype, configuration] : configurations) {
        for (auto& unit : units_) {
            if (unit && unit->subtype() == subtype) {
                configureUnit(*unit, configuration);
                break;
            }
        }
    }
}

} // namespace vtl
