#include "audio/AudioEffectDictionary.h"
#include "audio/AudioUnitFactory.h"
#include "audio/DelayUnit.h"
#include "audio/DistortionUnit.h"
#include "audio/DynamicsProcessorUnit.h"
#include "audio/GraphicEQUnit.h"
#include "audio/HighPassFilterUnit.h"
#include "audio/HighShelfFilterUnit.h"
#include "audio/LowPassFilterUnit.h"
#include "audio/LowShelfFilterUnit.h"
#include "audio/MultiBandCompressorUnit.h"
#include "audio/MultiModeFilterUnit.h"
#include "audio/ParametricEQUnit.h"
#include "audio/PeakLimiterUnit.h"
#include "audio/PitchUnit.h"
#include "audio/ReverbUnit.h"
#include "audio/StereoMixerUnit.h"
#include "support/Signals.h"

#include <functional>
#include <gtest/gtest.h>

using namespace vtl;
using namespace vtl::test;

namespace {

// Runs a unit over a signal (the same on both channels) in render-sized blocks; returns the left.
std::vector<float> run(AudioEffectUnit& unit, std::vector<float> signal) {
    unit.prepare(sampleRate, 512);
    std::vector<float> right = signal;
    for (std::size_t at = 0; at < signal.size(); at += 512) {
        const std::size_t n = std::min<std::size_t>(512, signal.size() - at);
        unit.process(signal.data() + at, right.data() + at, n);
    }
    return signal;
}

// Steady-state gain in dB of a unit at one frequency, from a tone of the given amplitude.
double gainAt(AudioEffectUnit& unit, double frequency, double amplitude = 0.25) {
    const auto out = run(unit, tone(frequency, amplitude, 44100));
    return decibels(amplitudeAt(out, frequency, 22050, 44100) / amplitude);
}

struct Configured {
    std::function<std::unique_ptr<AudioEffectUnit>()> make;
    std::vector<std::pair<std::uint32_t, float>> settings;
};

std::unique_ptr<AudioEffectUnit> build(const Configured& c) {
    auto unit = c.make();
    for (auto [id, v] : c.settings)
        EXPECT_TRUE(unit->setParameter(id, v));
    return unit;
}

template <class T> std::function<std::unique_ptr<AudioEffectUnit>()> maker() {
    return [] { return std::make_unique<T>(); };
}

} // namespace

TEST(EffectUnits, CutOffsAreMinusThreeDecibelsWithinFivePercent) {
    struct Case {
        const char* name;
        Configured unit;
        double cutoff;
        bool lowPass;
    };
    const Case cases[] = {
        {"low pass", {maker<LowPassFilterUnit>(), {{LowPassFilterUnit::CutoffFrequency, 1000}}}, 1000, true},
        {"high pass",
         {maker<HighPassFilterUnit>(), {{HighPassFilterUnit::CutoffFrequency, 2000}}},
         2000,
         false},
        {"filter, low-pass mode",
         {maker<MultiModeFilterUnit>(), {{MultiModeFilterUnit::Frequency, 500}}},
         500,
         true},
        {"filter, high-pass mode",
         {maker<MultiModeFilterUnit>(),
          {{MultiModeFilterUnit::Mode, 1}, {MultiModeFilterUnit::Frequency, 3000}}},
         3000,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double inside = gainAt(*build(c.unit), c.cutoff * (c.lowPass ? 0.95 : 1.05));
        const double outside = gainAt(*build(c.unit), c.cutoff * (c.lowPass ? 1.05 : 0.95));
        EXPECT_GT(inside, -3.0);
        EXPECT_LT(outside, -3.0);
        EXPECT_NEAR(gainAt(*build(c.unit), c.cutoff), -3.01, 0.5);
    }
}

TEST(EffectUnits, GainsHoldWithinHalfADecibel) {
    struct Case {
        const char* name;
        Configured unit;
        double frequency;
        double expectedDecibels;
        double amplitude = 0.25;
    };
    const Case cases[] = {
        {"low shelf",
         {maker<LowShelfFilterUnit>(),
          {{LowShelfFilterUnit::CutoffFrequency, 200}, {LowShelfFilterUnit::Gain, 6}}},
         20,
         6},
        {"high shelf", {maker<HighShelfFilterUnit>(), {{HighShelfFilterUnit::Gain, -9}}}, 20000, -9},
        {"parametric at its centre",
         {maker<ParametricEQUnit>(),
          {{ParametricEQUnit::CenterFrequency, 1500}, {ParametricEQUnit::Gain, 8}}},
         1500,
         8},
        {"parametric far from its centre", {maker<ParametricEQUnit>(), {{ParametricEQUnit::Gain, 8}}}, 50, 0},
        {"graphic band at 1 kHz", {maker<GraphicEQUnit>(), {{5, -10}}}, 1000, -10},
        {"graphic band at 125 Hz", {maker<GraphicEQUnit>(), {{2, 6}}}, 125, 6},
        {"dynamics master gain below the threshold",
         {maker<DynamicsProcessorUnit>(), {{DynamicsProcessorUnit::MasterGain, 6}}},
         440,
         6,
         0.01},
        {"stereo mixer volume", {maker<StereoMixerUnit>(), {{StereoMixerUnit::Volume, 0.5f}}}, 440, -6.02},
        {"distortion dry with output gain",
         {maker<DistortionUnit>(), {{DistortionUnit::Mix, 0}, {DistortionUnit::OutputGain, -12}}},
         440,
         -12},
        {"multi-band sum is flat, low", {maker<MultiBandCompressorUnit>(), {}}, 60, 0, 0.01},
        {"multi-band sum is flat, crossover", {maker<MultiBandCompressorUnit>(), {}}, 2000, 0, 0.01},
        {"multi-band sum is flat, high", {maker<MultiBandCompressorUnit>(), {}}, 9000, 0, 0.01},
        {"delay dry", {maker<DelayUnit>(), {{DelayUnit::DryWetMix, 0}}}, 440, 0},
        {"reverb dry", {maker<ReverbUnit>(), {{ReverbUnit::DryWetMix, 0}}}, 440, 0},
        {"pitch unshifted", {maker<PitchUnit>(), {}}, 440, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(gainAt(*build(c.unit), c.frequency, c.amplitude), c.expectedDecibels, 0.5);
    }
}

TEST(EffectUnits, LimiterNeverExceedsItsCeiling) {
    PeakLimiterUnit limiter;
    limiter.setParameter(PeakLimiterUnit::PreGain, 18);
    auto signal = tone(220, 0.9, 44100);
    // A sudden burst: the look-ahead must catch it too.
    for (std::size_t i = 30000; i < 30100; ++i)
        signal[i] = 1.0f;
    const auto out = run(limiter, signal);
    EXPECT_LE(peak(out), 1.0);
    // And it limits rather than mutes.
    EXPECT_GT(peak(out, 20000, 30000), 0.9);
}

TEST(EffectUnits, CompressorHoldsItsRatioAboveTheThreshold) {
    auto outputLevel = [](double inputDecibels) {
        DynamicsProcessorUnit unit;
        unit.setParameter(DynamicsProcessorUnit::Threshold, -30);
        unit.setParameter(DynamicsProcessorUnit::CompressionRatio, 4);
        unit.setParameter(DynamicsProcessorUnit::AttackTime, 0.05f);
        unit.setParameter(DynamicsProcessorUnit::ReleaseTime, 0.05f);
        const double amplitude = std::pow(10.0, inputDecibels / 20) * std::sqrt(2.0);
        const auto out = run(unit, tone(1000, amplitude, 88200));
        return decibels(rms(out, 44100, 88200));
    };
    // RMS in −20 dB and −10 dB: 10 dB apart going in, 2.5 dB coming out.
    const double low = outputLevel(-20), high = outputLevel(-10);
    EXPECT_NEAR(high - low, 2.5, 0.3);
    EXPECT_NEAR(low, -30 + 10.0 / 4, 0.5);
}

TEST(EffectUnits, DelayEchoesExactlyAfterItsTime) {
    DelayUnit delay;
    delay.setParameter(DelayUnit::DryWetMix, 100);
    delay.setParameter(DelayUnit::Feedback, 0);
    delay.setParameter(DelayUnit::LowpassCutoff, 22050);
    delay.setParameter(DelayUnit::DelayTime, 0.25f);
    std::vector<float> impulse(22050, 0.0f);
    impulse[100] = 1.0f;
    const auto out = run(delay, impulse);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], i == 100 + 11025 ? 1.0f : 0.0f) << "at frame " << i;
}

TEST(EffectUnits, PitchShiftsByItsCentsWithinOnePercent) {
    for (const float cents : {700.0f, -500.0f, 1200.0f}) {
        SCOPED_TRACE(cents);
        PitchUnit pitch;
        pitch.setParameter(PitchUnit::Pitch, cents);
        const auto out = run(pitch, tone(440, 0.5, 44100));
        const double expected = 440 * std::pow(2.0, cents / 1200.0);
        EXPECT_NEAR(dominantFrequency(out, expected * 0.9, expected * 1.1, 4410, 44100), expected,
                    expected * 0.01);
    }
}

TEST(EffectUnits, ReverbTailDecays) {
    ReverbUnit reverb;
    reverb.setParameter(ReverbUnit::DryWetMix, 100);
    reverb.setParameter(ReverbUnit::DecayTime, 0.5f);
    std::vector<float> impulse(88200, 0.0f);
    impulse[0] = 1.0f;
    const auto out = run(reverb, impulse);
    const double early = rms(out, 2205, 22050), late = rms(out, 44100, 66150);
    EXPECT_GT(early, 1e-4);
    // 0.5 s of decay is 60 dB; the later window lies about a second further on.
    EXPECT_LT(decibels(late / early), -40);
}

TEST(EffectUnits, EveryKindMakesFiniteSoundAndKeepsItsStateThroughClassInfo) {
    std::vector<std::pair<FourCharCode, FourCharCode>> kinds;
    for (const auto& e : audioeffect::builtInEffects())
        kinds.emplace_back(audioeffect::effectType, e.subtype);
    kinds.emplace_back(audioeffect::mixerType, audioeffect::stereoMixerSubtype);
    for (auto [type, subtype] : kinds) {
        SCOPED_TRACE(fourCharCodeText(subtype));
        auto unit = makeAudioEffectUnit(type, subtype);
        ASSERT_TRUE(unit);
        EXPECT_EQ(unit->subtype(), subtype);
        const auto out = run(*unit, tone(330, 0.8, 8192));
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v));

        // Every parameter moved to its maximum survives a save and a restore into a new unit.
        for (const auto& p : unit->parameters())
            unit->setParameter(p.parameterID, p.maxValue);
        auto copy = makeAudioEffectUnit(type, subtype);
        ASSERT_TRUE(copy->setClassInfo(unit->classInfo()).ok());
        for (const auto& p : unit->parameters())
            EXPECT_EQ(copy->parameter(p.parameterID), p.maxValue) << p.name;
    }
    EXPECT_FALSE(makeAudioEffectUnit(audioeffect::effectType, fourCharCode("xxxx")));
}

TEST(EffectUnits, ParametersAreCheckedAndClamped) {
    LowPassFilterUnit unit;
    EXPECT_FALSE(unit.setParameter(7, 1));
    EXPECT_FALSE(unit.setParameter(LowPassFilterUnit::CutoffFrequency, std::nanf("")));
    EXPECT_TRUE(unit.setParameter(LowPassFilterUnit::CutoffFrequency, 1e9f));
    EXPECT_EQ(unit.parameter(LowPassFilterUnit::CutoffFrequency), 22050.0f);

    // Foreign state: refused; hostile values: skipped or clamped.
    PropertyList foreign = DelayUnit().classInfo();
    EXPECT_FALSE(unit.setClassInfo(foreign).ok());
    EXPECT_FALSE(unit.setClassInfo(PropertyList("text")).ok());
    PropertyList hostile = unit.classInfo();
    hostile.get("parameters")->set("0", -1e300);
    hostile.get("parameters")->set("1", "loud");
    hostile.get("parameters")->set("99", 1.0);
    hostile.get("parameters")->set("x", 1.0);
    EXPECT_TRUE(unit.setClassInfo(hostile).ok());
    EXPECT_EQ(unit.parameter(LowPassFilterUnit::CutoffFrequency), 10.0f);
    EXPECT_EQ(unit.parameter(LowPassFilterUnit::Resonance), 0.0f);
}
