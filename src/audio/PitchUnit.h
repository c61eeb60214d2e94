#pragma once
// Pitch shifter ('aufx'/'tmpt'): shifts by cents, keeping the duration, with two cross-faded
// taps on a modulated delay line. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"

#include <vector>

namespace vtl {

class PitchUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { Pitch };
    PitchUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    // Where a tap that has faded out starts again: one whole window away, moved by up to a
    // period so it joins in phase with the tap that is sounding.
    double restartDelay(double otherDelay) const;

    std::vector<float> bufferLeft_;
    std::vector<float> bufferRight_;
    std::size_t write_ = 0;
    double phase_ = 0;
    double delays_[2] = {1, 1};
    double ratio_ = 1;
};

} // namespace vtl
