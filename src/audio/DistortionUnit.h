#pragma once
// Distortion ('aufx'/'dist'): soft saturation with drive, dry/wet mix and output gain. Owned by the effect
// chain that holds it.

#include "audio/AudioEffectUnit.h"

namespace vtl {

class DistortionUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { Drive, Mix, OutputGain };
    DistortionUnit();

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    double drive_ = 1;
    double normalisation_ = 1;
    double mix_ = 0.5;
    double outputGain_ = 1;
};

} // namespace vtl
