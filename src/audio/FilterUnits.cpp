// The equalising and filtering units: one or more second-order sections each.
#include "audio/AudioEffectDictionary.h"
#include "audio/GraphicEQUnit.h"
#include "audio/HighPassFilterUnit.h"
#include "audio/HighShelfFilterUnit.h"
#include "audio/LowPassFilterUnit.h"
#include "audio/LowShelfFilterUnit.h"
#include "audio/MultiModeFilterUnit.h"
#include "audio/ParametricEQUnit.h"

#include <cmath>
#include <numbers>

namespace vtl {

namespace {

using Unit = AudioUnitParameterUnit;

// Resonance in decibels above the flat (Butterworth) response.
double qForResonance(double resonanceDecibels) {
    return std::numbers::sqrt2 / 2 * std::pow(10.0, resonanceDecibels / 20);
}

} // namespace

// --- Low pass

LowPassFilterUnit::LowPassFilterUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("lpas"), "LowPassFilter",
                      {unitParameter("Cutoff Frequency", Unit::Hertz, 10, 22050, 6900),
                       unitParameter("Resonance", Unit::Decibels, -20, 40, 0)}) {}
void LowPassFilterUnit::prepareDsp(double, std::size_t) {}
void LowPassFilterUnit::resetDsp() {
    filter_.reset();
}
void LowPassFilterUnit::updateDsp() {
    filter_.setCoefficients(
        BiquadCoefficients::lowPass(sampleRate(), value(CutoffFrequency), qForResonance(value(Resonance))));
}
void LowPassFilterUnit::processDsp(float* left, float* right, std::size_t frames) {
    filter_.processStereo(left, right, frames);
}

// --- High pass

HighPassFilterUnit::HighPassFilterUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("hpas"), "HighPassFilter",
                      {unitParameter("Cutoff Frequency", Unit::Hertz, 10, 22050, 6900),
                       unitParameter("Resonance", Unit::Decibels, -20, 40, 0)}) {}
void HighPassFilterUnit::prepareDsp(double, std::size_t) {}
void HighPassFilterUnit::resetDsp() {
    filter_.reset();
}
void HighPassFilterUnit::updateDsp() {
    filter_.setCoefficients(
        BiquadCoefficients::highPass(sampleRate(), value(CutoffFrequency), qForResonance(value(Resonance))));
}
void HighPassFilterUnit::processDsp(float* left, float* right, std::size_t frames) {
    filter_.processStereo(left, right, frames);
}

// --- Low shelf

LowShelfFilterUnit::LowShelfFilterUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("lshf"), "LowShelfFilter",
                      {unitParameter("Cutoff Frequency", Unit::Hertz, 10, 200, 80),
                       unitParameter("Gain", Unit::Decibels, -40, 40, 0)}) {}
void LowShelfFilterUnit::prepareDsp(double, std::size_t) {}
void LowShelfFilterUnit::resetDsp() {
    filter_.reset();
}
void LowShelfFilterUnit::updateDsp() {
    filter_.setCoefficients(BiquadCoefficients::lowShelf(sampleRate(), value(CutoffFrequency), value(Gain)));
}
void LowShelfFilterUnit::processDsp(float* left, float* right, std::size_t frames) {
    if (value(Gain) == 0) return;
    filter_.processStereo(left, right, frames);
}

// --- High shelf

HighShelfFilterUnit::HighShelfFilterUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("hshf"), "HighShelfFilter",
                      {unitParameter("Cutoff Frequency", Unit::Hertz, 10000, 22050, 10000),
                       unitParameter("Gain", Unit::Decibels, -40, 40, 0)}) {}
void HighShelfFilterUnit::prepareDsp(double, std::size_t) {}
void HighShelfFilterUnit::resetDsp() {
    filter_.reset();
}
void HighShelfFilterUnit::updateDsp() {
    filter_.setCoefficients(BiquadCoefficients::highShelf(sampleRate(), value(CutoffFrequency), value(Gain)));
}
void HighShelfFilterUnit::processDsp(float* left, float* right, std::size_t frames) {
    if (value(Gain) == 0) return;
    filter_.processStereo(left, right, frames);
}

// --- Parametric EQ

ParametricEQUnit::ParametricEQUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("pmeq"), "ParametricEQ",
                      {unitParameter("Center Frequency", Unit::Hertz, 20, 22050, 2000),
                       unitParameter("Q", Unit::Generic, 0.1f, 20, 1),
                       unitParameter("Gain", Unit::Decibels, -20, 20, 0)}) {}
void ParametricEQUnit::prepareDsp(double, std::size_t) {}
void ParametricEQUnit::resetDsp() {
    filter_.reset();
}
void ParametricEQUnit::updateDsp() {
    filter_.setCoefficients(
        BiquadCoefficients::peaking(sampleRate(), value(CenterFrequency), value(Q), value(Gain)));
}
void ParametricEQUnit::processDsp(float* left, float* right, std::size_t frames) {
    if (value(Gain) == 0) return;
    filter_.processStereo(left, right, frames);
}

// --- Graphic EQ

namespace {

std::vector<AudioUnitParameterInfo> graphicBands() {
    std::vector<AudioUnitParameterInfo> list;
    for (std::size_t b = 0; b < GraphicEQUnit::bandCount; ++b) {
        const double f = GraphicEQUnit::bandFrequency(b);
        const std::string label = f < 1000 ? std::to_string(static_cast<int>(std::lround(f))) + " Hz"
                                           : std::to_string(static_cast<int>(std::lround(f / 1000))) + " kHz";
        list.push_back(unitParameter(label, Unit::Decibels, -20, 12, 0));
    }
    return list;
}

std::vector<AudioUnitFactoryPreset> graphicPresets() {
    return {
        {{0, "Flat"}, {}},
        {{1, "Bass Boost"}, {{0, 6}, {1, 6}, {2, 4}, {3, 2}}},
        {{2, "Treble Boost"}, {{6, 2}, {7, 4}, {8, 6}, {9, 6}}},
        {{3, "Voice"}, {{0, -12}, {1, -8}, {2, -3}, {5, 2}, {6, 3}, {7, 2}}},
    };
}

// An octave-wide band.
constexpr double graphicBandQ = 1.41;

} // namespace

double GraphicEQUnit::bandFrequency(std::size_t band) {
    return 31.25 * std::pow(2.0, static_cast<double>(band));
}

GraphicEQUnit::GraphicEQUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("greq"), "GraphicEQ", graphicBands(),
                      graphicPresets()) {}
void GraphicEQUnit::prepareDsp(double, std::size_t) {}
void GraphicEQUnit::resetDsp() {
    for (auto& b : bands_)
        b.reset();
}
void GraphicEQUnit::updateDsp() {
    for (std::size_t b = 0; b < bandCount; ++b) {
        const float gain = value(b);
        if (gain != 0 && !active_[b]) bands_[b].reset();
        active_[b] = gain != 0;
        bands_[b].setCoefficients(
            BiquadCoefficients::peaking(sampleRate(), bandFrequency(b), graphicBandQ, gain));
    }
}
void GraphicEQUnit::processDsp(float* left, float* right, std::size_t frames) {
    for (std::size_t b = 0; b < bandCount; ++b)
        if (active_[b]) bands_[b].processStereo(left, right, frames);
}

// --- Multi-mode filter

MultiModeFilterUnit::MultiModeFilterUnit()
    : AudioEffectUnit(
          audioeffect::effectType, fourCharCode("filt"), "Filter",
          {unitParameter("Mode", Unit::Indexed, 0, 3, 0, {"Low Pass", "High Pass", "Band Pass", "Notch"}),
           unitParameter("Frequency", Unit::Hertz, 10, 22050, 1000),
           unitParameter("Q", Unit::Generic, 0.1f, 20, static_cast<float>(std::numbers::sqrt2 / 2))}) {}
void MultiModeFilterUnit::prepareDsp(double, std::size_t) {}
void MultiModeFilterUnit::resetDsp() {
    filter_.reset();
}
void MultiModeFilterUnit::updateDsp() {
    const double f = value(Frequency), q = value(Q);
    switch (static_cast<int>(value(Mode))) {
    case 1:
        filter_.setCoefficients(BiquadCoefficients::highPass(sampleRate(), f, q));
        break;
    case 2:
        filter_.setCoefficients(BiquadCoefficients::bandPass(sampleRate(), f, q));
        break;
    case 3:
        filter_.setCoefficients(BiquadCoefficients::notch(sampleRate(), f, q));
        break;
    default:
        filter_.setCoefficients(BiquadCoefficients::lowPass(sampleRate(), f, q));
        break;
    }
}
void MultiModeFilterUnit::processDsp(float* left, float* right, std::size_t frames) {
    filter_.processStereo(left, right, frames);
}

} // namespace vtl
