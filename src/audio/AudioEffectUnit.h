#pragma once
// Base of every effect unit: our own DSP under the stored four-character codes. A unit has
// parameters (atomics, so the main thread sets them while the render thread reads them), factory
// presets, a present preset, and a class-information property list that saves and restores its
// whole state. Owned by the chain it is part of.
//
// Threads: everything but process() belongs to the owner's thread (the main thread for players).
// process() runs on the render thread after prepare(); it never locks or allocates. prepare()
// allocates and must not overlap process().

#include "audio/AudioUnitParameterInfo.h"
#include "audio/FourCharCode.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl {

class AudioEffectUnit {
public:
    // Called on the thread that changed the parameter, after the change.
    using ParameterListener = std::function<void(std::uint32_t parameterID, float value)>;

    virtual ~AudioEffectUnit();
    AudioEffectUnit(const AudioEffectUnit&) = delete;
    AudioEffectUnit& operator=(const AudioEffectUnit&) = delete;

    FourCharCode type() const { return type_; }
    FourCharCode subtype() const { return subtype_; }
    const std::string& name() const { return name_; }

    const std::vector<AudioUnitParameterInfo>& parameters() const { return parameters_; }
    // Nothing for an unknown parameter.
    std::optional<float> parameter(std::uint32_t parameterID) const;
    // Clamps to the parameter's range and tells the listener; false (nothing changed) for an
    // unknown parameter or a value that is not finite.
    bool setParameter(std::uint32_t parameterID, float value);
    void setParameterListener(ParameterListener listener) { listener_ = std::move(listener); }

    // Factory presets in the unit's order; empty when it has none.
    std::vector<AudioUnitPreset> factoryPresets() const;
    std::optional<AudioUnitPreset> presentPreset() const { return presentPreset_; }
    // Applies the factory preset of that number; false when there is none.
    bool selectFactoryPreset(std::int32_t presetNumber);

    // The whole saved state: {"version", "type", "subtype", "name", "parameters": {"<id>": value}}.
    PropertyList classInfo() const;
    // Restores parameters and preset name. Refuses a non-dictionary and the state of another kind
    // of unit; unknown parameters are ignored, values out of range are clamped.
    Status setClassInfo(const PropertyList& classInfo);

    // Rendering.
    void prepare(double sampleRate, std::size_t maximumFrames);
    // Asks for the unit's memory (delay lines, envelopes) to be cleared before its next process().
    void requestReset() { resetRequested_.store(true, std::memory_order_release); }
    // Processes two planar channels in place; frames ≤ the prepared maximum.
    void process(float* left, float* right, std::size_t frames) noexcept;

    // Latency the unit adds, in frames (0 for most).
    virtual std::size_t latencyFrames() const { return 0; }

protected:
    AudioEffectUnit(FourCharCode type, FourCharCode subtype, std::string name,
                    std::vector<AudioUnitParameterInfo> parameters,
                    std::vector<AudioUnitFactoryPreset> presets = {});

    // The current value of a parameter by index, for the render thread.
    float value(std::size_t index) const { return values_[index].load(std::memory_order_relaxed); }
    double sampleRate() const { return sampleRate_; }

    virtual void prepareDsp(double sampleRate, std::size_t maximumFrames) = 0;
    virtual void resetDsp() = 0;
    // Called before processing whenever a parameter changed since the last call.
    virtual void updateDsp() = 0;
    virtual void processDsp(float* left, float* right, std::size_t frames) = 0;

private:
    void storeParameter(std::size_t index, float value);

    FourCharCode type_;
    FourCharCode subtype_;
    std::string name_;
    std::vector<AudioUnitParameterInfo> parameters_;
    std::vector<AudioUnitFactoryPreset> presets_;
    std::unique_ptr<std::atomic<float>[]> values_;
    std::optional<AudioUnitPreset> presentPreset_;
    ParameterListener listener_;
    double sampleRate_ = 44100;
    std::atomic<std::uint32_t> version_{1};
    std::uint32_t seenVersion_ = 0;
    std::atomic<bool> resetRequested_{false};
};

} // namespace vtl
