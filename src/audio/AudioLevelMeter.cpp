#include "audio/AudioLevelMeter.h"

#include <algorithm>
#include <cmath>

namespace vtl {

AudioLevels AudioLevelMeter::measure(const float* samples, std::size_t sampleCount, double nowSeconds) {
    float maximum = 0, minimum = 0;
    for (std::size_t i = 0; i < sampleCount; ++i) {
        // A device that hands out a NaN must not freeze the meter.
        const float s = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        maximum = std::max(maximum, s);
        minimum = std::min(minimum, s);
    }
    const float peak = std::max(maximum, -minimum);
    if (peak > lastHold_) {
        lastHold_ = peak;
        lastHoldTime_ = nowSeconds;
    } else if (nowSeconds - lastHoldTime_ > holdTimeSeconds && lastHold_ > peak) {
        lastHold_ = lastHold_ <= holdDecayPerBuffer ? 0.0f : lastHold_ - holdDecayPerBuffer;
    }
    return {peak, lastHold_};
}

} // namespace vtl
