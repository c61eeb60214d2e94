#pragma once
// Parametric equaliser ('aufx'/'pmeq'): one peaking band. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"

namespace vtl {

class ParametricEQUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { CenterFrequency, Q, Gain };
    ParametricEQUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    Biquad filter_;
};

} // namespace vtl
