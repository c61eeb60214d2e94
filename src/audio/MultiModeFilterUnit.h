#pragma once
// Filter ('aufx'/'filt'): one second-order section whose mode (low-pass, high-pass,
// band-pass, notch) is a parameter. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"

namespace vtl {

class MultiModeFilterUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { Mode, Frequency, Q };
    MultiModeFilterUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    Biquad filter_;
};

} // namespace vtl
