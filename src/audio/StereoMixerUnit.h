#pragma once
// Stereo mixer ('aumx'/'smxr'): volume and balance; the exporter mixes a track without
// effects through it. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"

namespace vtl {

class StereoMixerUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { Volume, Pan };
    StereoMixerUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    double leftGain_ = 1;
    double rightGain_ = 1;
};

} // namespace vtl
