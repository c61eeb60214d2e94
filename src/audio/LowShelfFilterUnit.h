#pragma once
// Low-shelf filter ('aufx'/'lshf'): raises or lowers everything below the cut-off. Owned by the effect chain
// that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"

namespace vtl {

class LowShelfFilterUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { CutoffFrequency, Gain };
    LowShelfFilterUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    Biquad filter_;
};

} // namespace vtl
