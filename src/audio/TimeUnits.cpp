// The units built on delay lines: reverb, delay and pitch.
#include "audio/AudioEffectDictionary.h"
#include "audio/DelayUnit.h"
#include "audio/PitchUnit.h"
#include "audio/ReverbUnit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vtl {

namespace {

using Unit = AudioUnitParameterUnit;

constexpr std::size_t combLengths[8] = {1123, 1187, 1279, 1361, 1427, 1493, 1559, 1621};
constexpr std::size_t allpassLengths[4] = {557, 443, 347, 227};
// The right channel's lines are a little longer, which decorrelates the two sides.
constexpr std::size_t stereoSpread = 23;
constexpr double allpassGain = 0.5;
constexpr double combInputGain = 0.1;
constexpr double maximumPreDelaySeconds = 0.2;
constexpr double maximumDelaySeconds = 2.0;
constexpr std::size_t pitchWindowFrames = 2048;
// Up to one period of a 43 Hz tone is searched for the best place to restart a tap.
constexpr std::size_t pitchSearchFrames = 1024;
constexpr std::size_t pitchMatchFrames = 128;
constexpr std::size_t pitchBufferMask = 8191;

std::size_t scaledLength(std::size_t length, double sampleRate, std::size_t channel) {
    return std::max<std::size_t>(
        1, static_cast<std::size_t>(
               std::lround(static_cast<double>(length + channel * stereoSpread) * sampleRate / 44100.0)));
}

} // namespace

// --- Reverb

ReverbUnit::ReverbUnit()
    : AudioEffectUnit(
          audioeffect::effectType, fourCharCode("mrev"), "Reverb",
          {unitParameter("Dry/Wet Mix", Unit::Percent, 0, 100, 33),
           unitParameter("Decay Time", Unit::Seconds, 0.1f, 10, 1.5f),
           unitParameter("Damping", Unit::Generic, 0, 1, 0.3f),
           unitParameter("Pre-Delay", Unit::Seconds, 0, static_cast<float>(maximumPreDelaySeconds), 0.02f)},
          {{{0, "Small Room"}, {{DecayTime, 0.4f}, {Damping, 0.5f}, {PreDelay, 0.005f}, {DryWetMix, 25}}},
           {{1, "Medium Room"}, {{DecayTime, 0.9f}, {Damping, 0.4f}, {PreDelay, 0.01f}, {DryWetMix, 30}}},
           {{2, "Large Hall"}, {{DecayTime, 2.5f}, {Damping, 0.25f}, {PreDelay, 0.03f}, {DryWetMix, 35}}},
           {{3, "Cathedral"}, {{DecayTime, 6}, {Damping, 0.2f}, {PreDelay, 0.05f}, {DryWetMix, 40}}}}) {}

void ReverbUnit::prepareDsp(double sampleRate, std::size_t) {
    for (std::size_t ch = 0; ch < 2; ++ch) {
        Channel& c = channels_[ch];
        for (std::size_t k = 0; k < combCount; ++k)
            c.combs[k].buffer.assign(scaledLength(combLengths[k], sampleRate, ch), 0.0f);
        for (std::size_t k = 0; k < allpassCount; ++k)
            c.allpasses[k].buffer.assign(scaledLength(allpassLengths[k], sampleRate, ch), 0.0f);
        c.preDelay.buffer.assign(static_cast<std::size_t>(std::ceil(maximumPreDelaySeconds * sampleRate)) + 1,
                                 0.0f);
    }
}

void ReverbUnit::resetDsp() {
    auto clear = [](Line& line) {
        std::fill(line.buffer.begin(), line.buffer.end(), 0.0f);
        line.position = 0;
    };
    for (Channel& c : channels_) {
        for (Line& line : c.combs)
            clear(line);
        for (Line& line : c.allpasses)
            clear(line);
        clear(c.preDelay);
        c.combState.fill(0);
    }
}

void ReverbUnit::updateDsp() {
    const double decay = std::max(0.01f, value(DecayTime));
    for (std::size_t k = 0; k < combCount; ++k) {
        const double length = static_cast<double>(channels_[0].combs[k].buffer.size());
        // Each pass round the comb loses its share of 60 dB over the decay time.
        feedback_[k] = std::pow(10.0, -3.0 * length / (sampleRate() * decay));
    }
    damping_ = std::clamp<double>(value(Damping), 0, 0.99);
    const double mix = std::clamp<double>(value(DryWetMix), 0, 100) / 100;
    wet_ = mix;
    dry_ = 1 - mix;
    preDelayFrames_ = std::min(channels_[0].preDelay.buffer.size() - 1,
                               static_cast<std::size_t>(std::lround(value(PreDelay) * sampleRate())));
}

void ReverbUnit::processDsp(float* left, float* right, std::size_t frames) {
    float* io[2] = {left, right};
    for (std::size_t ch = 0; ch < 2; ++ch) {
        Channel& c = channels_[ch];
        float* samples = io[ch];
        const std::size_t preSize = c.preDelay.buffer.size();
        for (std::size_t i = 0; i < frames; ++i) {
            const double x = samples[i];
            c.preDelay.buffer[c.preDelay.position] = static_cast<float>(x);
            // preDelayFrames_ < preSize: one subtraction wraps the ring, without a division.
            std::size_t delayedAt = c.preDelay.position + preSize - preDelayFrames_;
            if (delayedAt >= preSize) delayedAt -= preSize;
            const double in = c.preDelay.buffer[delayedAt] * combInputGain;
            if (++c.preDelay.position == preSize) c.preDelay.position = 0;
            double sum = 0;
            for (std::size_t k = 0; k < combCount; ++k) {
                Line& line = c.combs[k];
                const double delayed = line.buffer[line.position];
                sum += delayed;
                c.combState[k] = delayed * (1 - damping_) + c.combState[k] * damping_;
                line.buffer[line.position] = static_cast<float>(in + c.combState[k] * feedback_[k]);
                if (++line.position == line.buffer.size()) line.position = 0;
            }
            for (Line& line : c.allpasses) {
                const double delayed = line.buffer[line.position];
                line.buffer[line.position] = static_cast<float>(sum + delayed * allpassGain);
                sum = delayed - sum;
                if (++line.position == line.buffer.size()) line.position = 0;
            }
            samples[i] = static_cast<float>(dry_ * x + wet_ * sum);
        }
    }
}

// --- Delay

DelayUnit::DelayUnit()
    : AudioEffectUnit(
          audioeffect::effectType, fourCharCode("dely"), "Delay",
          {unitParameter("Dry/Wet Mix", Unit::Percent, 0, 100, 50),
           unitParameter("Delay Time", Unit::Seconds, 0, static_cast<float>(maximumDelaySeconds), 1),
           unitParameter("Feedback", Unit::Percent, -99.9f, 99.9f, 50),
           unitParameter("Lowpass Cutoff Frequency", Unit::Hertz, 10, 22050, 15000)},
          {{{0, "Slapback"}, {{DelayTime, 0.09f}, {Feedback, 0}, {DryWetMix, 35}}},
           {{1, "Short Echo"}, {{DelayTime, 0.25f}, {Feedback, 30}, {DryWetMix, 35}}},
           {{2, "Long Echo"}, {{DelayTime, 0.6f}, {Feedback, 45}, {DryWetMix, 40}}}}) {}

void DelayUnit::prepareDsp(double sampleRate, std::size_t) {
    const std::size_t capacity = static_cast<std::size_t>(std::ceil(maximumDelaySeconds * sampleRate)) + 2;
    bufferLeft_.assign(capacity, 0.0f);
    bufferRight_.assign(capacity, 0.0f);
}

void DelayUnit::resetDsp() {
    std::fill(bufferLeft_.begin(), bufferLeft_.end(), 0.0f);
    std::fill(bufferRight_.begin(), bufferRight_.end(), 0.0f);
    write_ = 0;
    lowpassState_[0] = lowpassState_[1] = 0;
}

void DelayUnit::updateDsp() {
    delayFrames_ =
        std::min(bufferLeft_.size() - 1,
                 static_cast<std::size_t>(std::lround(std::max(0.0f, value(DelayTime)) * sampleRate())));
    const double mix = std::clamp<double>(value(DryWetMix), 0, 100) / 100;
    wet_ = mix;
    dry_ = 1 - mix;
    feedback_ = std::clamp<double>(value(Feedback), -99.9, 99.9) / 100;
    const double cutoff = value(LowpassCutoff);
    // Near the top of the band the low-pass is left out, so the echoes stay exact copies.
    lowpass_ = cutoff >= 0.45 * sampleRate() ? 0.0 : std::exp(-2 * std::numbers::pi * cutoff / sampleRate());
}

void DelayUnit::processDsp(float* left, float* right, std::size_t frames) {
    float* io[2] = {left, right};
    std::vector<float>* buffers[2] = {&bufferLeft_, &bufferRight_};
    const std::size_t capacity = bufferLeft_.size();
    std::size_t write = write_;
    for (std::size_t ch = 0; ch < 2; ++ch) {
        std::vector<float>& buffer = *buffers[ch];
        float* samples = io[ch];
        write = write_;
        double state = lowpassState_[ch];
        for (std::size_t i = 0; i < frames; ++i) {
            const double x = samples[i];
            const double delayed =
                delayFrames_ == 0 ? x : buffer[(write + capacity - delayFrames_) % capacity];
            state = (1 - lowpass_) * delayed + lowpass_ * state;
            buffer[write] = static_cast<float>(x + feedback_ * state);
            if (++write == capacity) write = 0;
            samples[i] = static_cast<float>(dry_ * x + wet_ * delayed);
        }
        lowpassState_[ch] = state;
    }
    write_ = write;
}

// --- Pitch

PitchUnit::PitchUnit()
    : AudioEffectUnit(audioeffect::effectType, fourCharCode("tmpt"), "Pitch",
                      {unitParameter("Pitch", Unit::Cents, -2400, 2400, 0)},
                      {{{0, "Octave Down"}, {{Pitch, -1200}}},
                       {{1, "Fifth Up"}, {{Pitch, 700}}},
                       {{2, "Octave Up"}, {{Pitch, 1200}}}}) {}

void PitchUnit::prepareDsp(double, std::size_t) {
    bufferLeft_.assign(pitchBufferMask + 1, 0.0f);
    bufferRight_.assign(pitchBufferMask + 1, 0.0f);
}

void PitchUnit::resetDsp() {
    std::fill(bufferLeft_.begin(), bufferLeft_.end(), 0.0f);
    std::fill(bufferRight_.begin(), bufferRight_.end(), 0.0f);
    write_ = 0;
    phase_ = 0;
    delays_[0] = delays_[1] = 1;
}

void PitchUnit::updateDsp() {
    const double ratio = std::pow(2.0, value(Pitch) / 1200.0);
    if ((ratio > 1) != (ratio_ > 1)) {
        // The taps run the other way now: start them where that direction needs them.
        const double window = static_cast<double>(pitchWindowFrames);
        delays_[0] = ratio > 1 ? window + 1 : 1;
        delays_[1] = ratio > 1 ? window / 2 + 1 : window / 2 + 1;
        phase_ = 0;
    }
    ratio_ = ratio;
}

double PitchUnit::restartDelay(double otherDelay) const {
    const double window = static_cast<double>(pitchWindowFrames);
    const double base = ratio_ > 1 ? window + 1 : 1;
    // The offset whose stretch of input looks most like what the other tap reads now.
    const auto other = static_cast<std::int64_t>(write_) - static_cast<std::int64_t>(otherDelay);
    double bestScore = -1e300;
    std::size_t best = 0;
    for (std::size_t offset = 0; offset < pitchSearchFrames; ++offset) {
        const auto candidate = static_cast<std::int64_t>(write_) - static_cast<std::int64_t>(base) -
                               static_cast<std::int64_t>(offset);
        double score = 0, energy = 1e-12;
        for (std::size_t k = 1; k <= pitchMatchFrames; ++k) {
            const float a = bufferLeft_[static_cast<std::size_t>(other - static_cast<std::int64_t>(k)) &
                                        pitchBufferMask] +
                            bufferRight_[static_cast<std::size_t>(other - static_cast<std::int64_t>(k)) &
                                         pitchBufferMask];
            const float b = bufferLeft_[static_cast<std::size_t>(candidate - static_cast<std::int64_t>(k)) &
                                        pitchBufferMask] +
                            bufferRight_[static_cast<std::size_t>(candidate - static_cast<std::int64_t>(k)) &
                                         pitchBufferMask];
            score += static_cast<double>(a) * b;
            energy += static_cast<double>(b) * b;
        }
        score /= std::sqrt(energy);
        if (score > bestScore) {
            bestScore = score;
            best = offset;
        }
    }
    return base + static_cast<double>(best) + (otherDelay - std::floor(otherDelay));
}

void PitchUnit::processDsp(float* left, float* right, std::size_t frames) {
    if (value(Pitch) == 0) return;
    const double window = static_cast<double>(pitchWindowFrames);
    // Each tap reads the line at `ratio` samples per sample, so its delay changes by (1 − ratio)
    // a sample; it fades out before it runs out of line and restarts a window away.
    const double step = 1.0 - ratio_;
    const double phaseStep = std::abs(step) / window;
    auto tap = [&](const std::vector<float>& buffer, double delay) {
        const double position = static_cast<double>(write_) - delay;
        const double floorPosition = std::floor(position);
        const double fraction = position - floorPosition;
        const auto index =
            static_cast<std::size_t>(static_cast<std::int64_t>(floorPosition) & pitchBufferMask);
        const double a = buffer[index], b = buffer[(index + 1) & pitchBufferMask];
        return a + (b - a) * fraction;
    };
    for (std::size_t i = 0; i < frames; ++i) {
        bufferLeft_[write_] = left[i];
        bufferRight_[write_] = right[i];
        const double s = std::sin(std::numbers::pi * phase_);
        const double g1 = s * s, g2 = 1 - g1;
        left[i] = static_cast<float>(g1 * tap(bufferLeft_, delays_[0]) + g2 * tap(bufferLeft_, delays_[1]));
        right[i] =
            static_cast<float>(g1 * tap(bufferRight_, delays_[0]) + g2 * tap(bufferRight_, delays_[1]));
        write_ = (write_ + 1) & pitchBufferMask;
        delays_[0] =
            std::clamp(delays_[0] + step, 1.0, static_cast<double>(pitchBufferMask - pitchMatchFrames));
        delays_[1] =
            std::clamp(delays_[1] + step, 1.0, static_cast<double>(pitchBufferMask - pitchMatchFrames));
        const double before = phase_;
        phase_ += phaseStep;
        // Tap 1 is silent at phase 0, tap 2 at phase 0.5: that is where each restarts.
        if (phase_ >= 1) {
            phase_ -= 1;
            delays_[0] = restartDelay(delays_[1]);
        }
        if (before < 0.5 && phase_ >= 0.5) delays_[1] = restartDelay(delays_[0]);
    }
}

} // namespace vtl
