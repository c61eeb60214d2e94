#pragma once
// Graphic equaliser ('aufx'/'greq'): ten octave bands from 31.25 Hz to 16 kHz. Owned by the effect chain that
// holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"

#include <array>

namespace vtl {

class GraphicEQUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { Band1 };
    GraphicEQUnit();
    static constexpr std::size_t bandCount = 10;
    static double bandFrequency(std::size_t band);

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    std::array<Biquad, bandCount> bands_;
    std::array<bool, bandCount> active_{};
};

} // namespace vtl
