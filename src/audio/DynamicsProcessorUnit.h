#pragma once
// Dynamics processor ('aufx'/'dcmp'): compressor above a threshold, expander below an
// expansion threshold, on an RMS level with attack and release, and a master gain. Owned by the effect chain
// that holds it.

#include "audio/AudioEffectUnit.h"
#include "audio/CompressorEnvelope.h"

namespace vtl {

class DynamicsProcessorUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t {
        Threshold,
        CompressionRatio,
        ExpansionRatio,
        ExpansionThreshold,
        AttackTime,
        ReleaseTime,
        MasterGain
    };
    DynamicsProcessorUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    CompressorEnvelope envelope_;
    double masterGain_ = 1;
};

} // namespace vtl
