// The units that change levels: limiter, dynamics processor and multi-band compressor.
#include "audio/AudioEffectDictionary.h"
#include "audio/DynamicsProcessorUnit.h"
#include "audio/MultiBandCompressorUnit.h"
#include "audio/PeakLimiterUnit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace vtl {

namespace {

using Unit = AudioUnitParameterUnit;

double decibelsToGain(double decibels) {
    return std::pow(10.0, decibels / 20);
}

constexpr double maximumLookaheadSeconds = 0.03;

} // namespace

// --- Peak limiter

PeakLimiterUnit::PeakLimiterUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("lmtr"), "PeakLimiter",
                      {unitParameter("Attack Time", Unit::Seconds, 0.001f, 0.03f, 0.012f),
                       unitParameter("Decay Time", Unit::Seconds, 0.001f, 0.06f, 0.024f),
                       unitParameter("Pre-Gain", Unit::Decibels, -40, 40, 0)}) {}

void PeakLimiterUnit::prepareDsp(double sampleRate, std::size_t) {
    // A power of two, so that ring positions are masks rather than divisions.
    capacity_ = std::bit_ceil(static_cast<std::size_t>(std::ceil(maximumLookaheadSeconds * sampleRate)) + 2);
    mask_ = capacity_ - 1;
    delayLeft_.assign(capacity_, 0.0f);
    delayRight_.assign(capacity_, 0.0f);
    targets_.assign(capacity_, 1.0);
    minimumQueue_.assign(capacity_, 0);
    gains_.assign(capacity_, 1.0);
}

void PeakLimiterUnit::resetDsp() {
    std::fill(delayLeft_.begin(), delayLeft_.end(), 0.0f);
    std::fill(delayRight_.begin(), delayRight_.end(), 0.0f);
    std::fill(targets_.begin(), targets_.end(), 1.0);
    std::fill(gains_.begin(), gains_.end(), 1.0);
    queueHead_ = queueSize_ = 0;
    sample_ = capacity_; // so that indexes below the window never wrap below zero
    gainSum_ = static_cast<double>(lookahead_ + 1);
    release_ = 1;
}

void PeakLimiterUnit::updateDsp() {
    const auto lookahead = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::lround(value(AttackTime) * sampleRate())), 1, capacity_ - 2);
    releaseCoefficient_ = 1.0 - std::exp(-1.0 / (std::max(value(DecayTime), 0.0001f) * sampleRate()));
    preGain_ = decibelsToGain(value(PreGain));
    if (lookahead != lookahead_) {
        lookahead_ = lookahead;
        resetDsp();
    }
}

void PeakLimiterUnit::processDsp(float* left, float* right, std::size_t frames) {
    const std::size_t window = lookahead_ + 1;
    for (std::size_t i = 0; i < frames; ++i, ++sample_) {
        const double l = left[i] * preGain_, r = right[i] * preGain_;
        const double peak = std::max(std::abs(l), std::abs(r));
        const double target = peak > ceiling ? ceiling / peak : 1.0;
        const std::size_t slot = sample_ & mask_;
        // Sliding minimum of the targets of the samples still in the look-ahead.
        while (queueSize_ > 0 &&
               targets_[minimumQueue_[(queueHead_ + queueSize_ - 1) & mask_] & mask_] >= target)
            --queueSize_;
        targets_[slot] = target;
        minimumQueue_[(queueHead_ + queueSize_) & mask_] = sample_;
        ++queueSize_;
        while (minimumQueue_[queueHead_] + lookahead_ < sample_) {
            queueHead_ = (queueHead_ + 1) & mask_;
            --queueSize_;
        }
        const double hold = targets_[minimumQueue_[queueHead_] & mask_];
        release_ = std::min(hold, release_ + (1.0 - release_) * releaseCoefficient_);
        // Averaging over the window keeps the gain at or below every target the window covers,
        // so the delayed sample it is applied to never exceeds the ceiling.
        gainSum_ += release_ - gains_[(sample_ - window) & mask_];
        gains_[slot] = release_;
        const double gain = gainSum_ / static_cast<double>(window);
        const std::size_t out = (sample_ - lookahead_) & mask_;
        const double dl = delayLeft_[out], dr = delayRight_[out];
        delayLeft_[slot] = static_cast<float>(l);
        delayRight_[slot] = static_cast<float>(r);
        left[i] = std::clamp(static_cast<float>(dl * gain), -ceiling, ceiling);
        right[i] = std::clamp(static_cast<float>(dr * gain), -ceiling, ceiling);
    }
}

// --- Dynamics processor

DynamicsProcessorUnit::DynamicsProcessorUnit()
    : AudioEffectUnit(
          audioeffect::effectType, fourCharCode("dcmp"), "DynamicsProcessor",
          {unitParameter("Threshold", Unit::Decibels, -40, 20, -20),
           unitParameter("Compression Ratio", Unit::Ratio, 1, 50, 2),
           unitParameter("Expansion Ratio", Unit::Ratio, 1, 50, 2),
           unitParameter("Expansion Threshold", Unit::Decibels, -120, 0, -100),
           unitParameter("Attack Time", Unit::Seconds, 0.0001f, 0.2f, 0.001f),
           unitParameter("Release Time", Unit::Seconds, 0.01f, 3, 0.05f),
           unitParameter("Master Gain", Unit::Decibels, -40, 40, 0)},
          {{{0, "Gentle"}, {}},
           {{1, "Voice Leveler"}, {{Threshold, -30}, {CompressionRatio, 4}, {MasterGain, 6}}},
           {{2, "Noise Gate"}, {{ExpansionThreshold, -50}, {ExpansionRatio, 10}, {CompressionRatio, 1}}}}) {}

void DynamicsProcessorUnit::prepareDsp(double, std::size_t) {}
void DynamicsProcessorUnit::resetDsp() {
    envelope_.reset();
}
void DynamicsProcessorUnit::updateDsp() {
    envelope_.setTimes(sampleRate(), value(AttackTime), value(ReleaseTime));
    envelope_.setCurve(value(Threshold), value(CompressionRatio), value(ExpansionThreshold),
                       value(ExpansionRatio));
    masterGain_ = decibelsToGain(value(MasterGain));
}
void DynamicsProcessorUnit::processDsp(float* left, float* right, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        const double l = left[i], r = right[i];
        const double gain = envelope_.gain((l * l + r * r) / 2) * masterGain_;
        left[i] = static_cast<float>(l * gain);
        right[i] = static_cast<float>(r * gain);
    }
}

// --- Multi-band compressor

MultiBandCompressorUnit::MultiBandCompressorUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("mcmp"), "MultiBandCompressor",
                      {unitParameter("Pre-Gain", Unit::Decibels, -40, 40, 0),
                       unitParameter("Post-Gain", Unit::Decibels, -40, 40, 0),
                       unitParameter("Crossover 1", Unit::Hertz, 20, 22050, 120),
                       unitParameter("Crossover 2", Unit::Hertz, 20, 22050, 2000),
                       unitParameter("Attack Time", Unit::Seconds, 0.0001f, 0.2f, 0.01f),
                       unitParameter("Release Time", Unit::Seconds, 0.01f, 3, 0.1f),
                       unitParameter("Band 1 Threshold", Unit::Decibels, -60, 0, -20),
                       unitParameter("Band 1 Ratio", Unit::Ratio, 1, 50, 2),
                       unitParameter("Band 2 Threshold", Unit::Decibels, -60, 0, -20),
                       unitParameter("Band 2 Ratio", Unit::Ratio, 1, 50, 2),
                       unitParameter("Band 3 Threshold", Unit::Decibels, -60, 0, -20),
                       unitParameter("Band 3 Ratio", Unit::Ratio, 1, 50, 2)},
                      {{{0, "Gentle"}, {}},
                       {{1, "Broadcast"},
                        {{Band1Threshold, -30},
                         {Band1Ratio, 4},
                         {Band2Threshold, -28},
                         {Band2Ratio, 4},
                         {Band3Threshold, -30},
                         {Band3Ratio, 4},
                         {PostGain, 8}}}}) {}

void MultiBandCompressorUnit::prepareDsp(double, std::size_t) {}

void MultiBandCompressorUnit::resetDsp() {
    for (auto* sections : {&low1_, &high1_, &low2_, &high2_, &allpassLow_, &allpassHigh_})
        for (auto& s : *sections)
            s.reset();
    for (auto& e : envelopes_)
        e.reset();
}

void MultiBandCompressorUnit::updateDsp() {
    const double fs = sampleRate();
    const double c1 = clampedFrequency(value(Crossover1), fs);
    const double c2 = std::max(c1, clampedFrequency(value(Crossover2), fs));
    const double q = std::numbers::sqrt2 / 2;
    for (int k = 0; k < 2; ++k) {
        low1_[k].setCoefficients(BiquadCoefficients::lowPass(fs, c1, q));
        high1_[k].setCoefficients(BiquadCoefficients::highPass(fs, c1, q));
        low2_[k].setCoefficients(BiquadCoefficients::lowPass(fs, c2, q));
        high2_[k].setCoefficients(BiquadCoefficients::highPass(fs, c2, q));
        allpassLow_[k].setCoefficients(BiquadCoefficients::lowPass(fs, c2, q));
        allpassHigh_[k].setCoefficients(BiquadCoefficients::highPass(fs, c2, q));
    }
    for (std::size_t b = 0; b < 3; ++b) {
        envelopes_[b].setTimes(fs, value(AttackTime), value(ReleaseTime));
        envelopes_[b].setCurve(value(Band1Threshold + 2 * b), value(Band1Ratio + 2 * b));
    }
    preGain_ = decibelsToGain(value(PreGain));
    postGain_ = decibelsToGain(value(PostGain));
}

void MultiBandCompressorUnit::processDsp(float* left, float* right, std::size_t frames) {
    using Pair = StereoBiquad::Pair;
    auto cascade = [](std::array<StereoBiquad, 2>& s, Pair x) {
        return s[1].processSample(s[0].processSample(x));
    };
    const Pair preGain{preGain_, preGain_};
    for (std::size_t i = 0; i < frames; ++i) {
        const Pair x = Pair{left[i], right[i]} * preGain;
        const Pair low = cascade(low1_, x);
        const Pair rest = cascade(high1_, x);
        // The low band passes the second crossover's all-pass so the three bands sum flat.
        const Pair band[3] = {cascade(allpassLow_, low) + cascade(allpassHigh_, low), cascade(low2_, rest),
                              cascade(high2_, rest)};
        double outL = 0, outR = 0;
        for (std::size_t b = 0; b < 3; ++b) {
            const double gain = envelopes_[b].gain((band[b][0] * band[b][0] + band[b][1] * band[b][1]) / 2);
            outL += band[b][0] * gain;
            outR += band[b][1] * gain;
        }
        left[i] = static_cast<float>(outL * postGain_);
        right[i] = static_cast<float>(outR * postGain_);
    }
}

} // namespace vtl
