#pragma once
// Delay ('aufx'/'dely'): an echo of exact length with feedback through a low-pass and
// dry/wet mix. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"

#include <vector>

namespace vtl {

class DelayUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { DryWetMix, DelayTime, Feedback, LowpassCutoff };
    DelayUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    std::vector<float> bufferLeft_;
    std::vector<float> bufferRight_;
    std::size_t write_ = 0;
    std::size_t delayFrames_ = 0;
    double wet_ = 0.5;
    double dry_ = 0.5;
    double feedback_ = 0;
    double lowpass_ = 1;
    double lowpassState_[2] = {0, 0};
};

} // namespace vtl
