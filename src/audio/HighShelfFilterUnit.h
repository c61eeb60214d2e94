#pragma once
// High-shelf filter ('aufx'/'hshf'): raises or lowers everything above the cut-off. Owned by the effect chain
// that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"

namespace vtl {

class HighShelfFilterUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { CutoffFrequency, Gain };
    HighShelfFilterUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    Biquad filter_;
};

} // namespace vtl
