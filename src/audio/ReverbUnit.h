#pragma once
// Reverb ('aufx'/'mrev'): parallel damped combs into series all-passes per channel, with
// pre-delay, decay time, damping and dry/wet mix. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"

#include <array>
#include <vector>

namespace vtl {

class ReverbUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { DryWetMix, DecayTime, Damping, PreDelay };
    ReverbUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    static constexpr std::size_t combCount = 8;
    static constexpr std::size_t allpassCount = 4;
    struct Line {
        std::vector<float> buffer;
        std::size_t position = 0;
    };
    struct Channel {
        std::array<Line, combCount> combs;
        std::array<double, combCount> combState{};
        std::array<Line, allpassCount> allpasses;
        Line preDelay;
    };
    std::array<Channel, 2> channels_;
    std::array<double, combCount> feedback_{};
    std::size_t preDelayFrames_ = 0;
    double damping_ = 0;
    double wet_ = 0;
    double dry_ = 1;
};

} // namespace vtl
