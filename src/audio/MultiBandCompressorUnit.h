#pragma once
// Multi-band compressor ('aufx'/'mcmp'): three bands split by two crossovers (flat sum), each
// compressed on its own level. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/Biquad.h"
#include "audio/CompressorEnvelope.h"

#include <array>
#include <vector>

namespace vtl {

class MultiBandCompressorUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t {
        PreGain,
        PostGain,
        Crossover1,
        Crossover2,
        AttackTime,
        ReleaseTime,
        Band1Threshold,
        Band1Ratio,
        Band2Threshold,
        Band2Ratio,
        Band3Threshold,
        Band3Ratio
    };
    MultiBandCompressorUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    // Two cascaded Butterworth sections each: a flat-summing crossover.
    std::array<StereoBiquad, 2> low1_, high1_, low2_, high2_, allpassLow_, allpassHigh_;
    std::array<CompressorEnvelope, 3> envelopes_;
    double preGain_ = 1;
    double postGain_ = 1;
};

} // namespace vtl
