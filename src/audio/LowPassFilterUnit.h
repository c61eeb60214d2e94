#pragma once
// Low-pass filter ('aufx'/'lpas'): a resonant second-order low-pass. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"

namespace vtl {

class LowPassFilterUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { CutoffFrequency, Resonance };
    LowPassFilterUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    Biquad filter_;
};

} // namespace vtl
