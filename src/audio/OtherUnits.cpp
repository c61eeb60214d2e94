// The units without memory: distortion and the stereo mixer.
#include "audio/AudioEffectDictionary.h"
#include "audio/DistortionUnit.h"
#include "audio/FastMath.h"
#include "audio/StereoMixerUnit.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {
using Unit = AudioUnitParameterUnit;
}

// --- Distortion

DistortionUnit::DistortionUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("dist"), "Distortion",
                      {unitParameter("Drive", Unit::Decibels, 0, 40, 12),
                       unitParameter("Mix", Unit::Percent, 0, 100, 50),
                       unitParameter("Output Gain", Unit::Decibels, -40, 20, 0)},
                      {{{0, "Warm"}, {{Drive, 6}, {Mix, 100}}},
                       {{1, "Crunch"}, {{Drive, 24}, {Mix, 100}, {OutputGain, -3}}},
                       {{2, "Fuzz"}, {{Drive, 40}, {Mix, 100}, {OutputGain, -6}}}}) {}

void DistortionUnit::prepareDsp(double, std::size_t) {}
void DistortionUnit::resetDsp() {}
void DistortionUnit::updateDsp() {
    drive_ = std::pow(10.0, value(Drive) / 20);
    normalisation_ = 1 / std::tanh(drive_);
    mix_ = std::clamp<double>(value(Mix), 0, 100) / 100;
    outputGain_ = std::pow(10.0, value(OutputGain) / 20);
}
void DistortionUnit::processDsp(float* left, float* right, std::size_t frames) {
    for (float* samples : {left, right})
        for (std::size_t i = 0; i < frames; ++i) {
            const double x = samples[i];
            // Full scale stays full scale; everything below is pushed towards it.
            const double shaped = fastmath::tanh(drive_ * x) * normalisation_;
            samples[i] = static_cast<float>(((1 - mix_) * x + mix_ * shaped) * outputGain_);
        }
}

// --- Stereo mixer

StereoMixerUnit::StereoMixerUnit()
    : AudioEffectUnit(fourCharCode("aumx"), fourCharCode("smxr"), "StereoMixer",
                      {unitParameter("Volume", Unit::LinearGain, 0, 1, 1),
                       unitParameter("Pan", Unit::Generic, -1, 1, 0)}) {}

void StereoMixerUnit::prepareDsp(double, std::size_t) {}
void StereoMixerUnit::resetDsp() {}
void StereoMixerUnit::updateDsp() {
    const double volume = value(Volume), pan = value(Pan);
    leftGain_ = volume * std::min(1.0, 1.0 - pan);
    rightGain_ = volume * std::min(1.0, 1.0 + pan);
}
void StereoMixerUnit::processDsp(float* left, float* right, std::size_t frames) {
    if (leftGain_ == 1 && rightGain_ == 1) return;
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = static_cast<float>(left[i] * leftGain_);
        right[i] = static_cast<float>(right[i] * rightGain_);
    }
}

} // namespace vtl
