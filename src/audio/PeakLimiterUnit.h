#pragma once
// Peak limiter ('aufx'/'lmtr'): look-ahead limiter whose output never exceeds full scale
// (1.0); the look-ahead is the attack time. Owned by the effect chain that holds it.

#include "audio/AudioEffectUnit.h"

#include <vector>

namespace vtl {

class PeakLimiterUnit : public AudioEffectUnit {
public:
    enum Parameter : std::uint32_t { AttackTime, DecayTime, PreGain };
    PeakLimiterUnit();
    std::size_t latencyFrames() const override { return lookahead_; }

protected:
    void prepareDsp(double sampleRate, std::size_t maximumFrames) override;
    void resetDsp() override;
    void updateDsp() override;
    void processDsp(float* left, float* right, std::size_t frames) override;

private:
    static constexpr float ceiling = 1.0f;
    std::vector<float> delayLeft_;
    std::vector<float> delayRight_;
    std::vector<double> targets_;
    std::vector<std::uint64_t> minimumQueue_;
    std::vector<double> gains_;
    std::size_t capacity_ = 1;
    std::size_t mask_ = 0;
    std::size_t lookahead_ = 1;
    std::size_t queueHead_ = 0;
    std::size_t queueSize_ = 0;
    std::uint64_t sample_ = 0;
    double gainSum_ = 0;
    double release_ = 1;
    double releaseCoefficient_ = 0;
    double preGain_ = 1;
};

} // namespace vtl
