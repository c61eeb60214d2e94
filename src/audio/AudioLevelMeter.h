#pragma once
// Peak and hold levels of captured buffers for a level meter: the peak is the largest magnitude
// of a buffer; the hold follows rising peaks at once and, half a second after it was last raised,
// falls by 0.01 a buffer. Linear amplitudes, 1.0 = full scale. Used on the capture thread (no
// locks, no allocation); owned by the recorder of the input.

#include <cstddef>

namespace vtl {

struct AudioLevels {
    float peak = 0;
    float hold = 0;
};

class AudioLevelMeter {
public:
    static constexpr double holdTimeSeconds = 0.5;
    static constexpr float holdDecayPerBuffer = 0.01f;

    // One captured buffer of `sampleCount` samples (all channels) at `nowSeconds`.
    AudioLevels measure(const float* samples, std::size_t sampleCount, double nowSeconds);

private:
    float lastHold_ = 0;
    double lastHoldTime_ = 0;
};

} // namespace vtl
