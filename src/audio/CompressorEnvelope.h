#pragma once
// The level detector and gain curve shared by the compressors: a mean-square envelope with
// attack and release, compression above a threshold and expansion below another. Plain value
// inside a unit; no allocation.

#include <algorithm>
#include <cmath>

namespace vtl {

class CompressorEnvelope {
public:
    void setTimes(double sampleRate, double attackSeconds, double releaseSeconds) {
        attack_ = coefficient(sampleRate, attackSeconds);
        release_ = coefficient(sampleRate, releaseSeconds);
    }
    void setCurve(double thresholdDecibels, double ratio, double expansionThresholdDecibels = -300,
                  double expansionRatio = 1) {
        threshold_ = thresholdDecibels;
        slope_ = 1.0 / std::max(ratio, 1.0) - 1.0;
        expansionThreshold_ = expansionThresholdDecibels;
        expansionSlope_ = std::max(expansionRatio, 1.0) - 1.0;
    }
    void reset() { meanSquare_ = 0; }

    // The linear gain for the next frame, given the frame's mean square over its channels.
    double gain(double frameMeanSquare) {
        meanSquare_ += (frameMeanSquare - meanSquare_) * (frameMeanSquare > meanSquare_ ? attack_ : release_);
        const double level = 10.0 * std::log10(meanSquare_ + 1e-30);
        double gainDecibels = 0;
        if (level > threshold_)
            gainDecibels = (level - threshold_) * slope_;
        else if (level < expansionThreshold_)
            gainDecibels = (level - expansionThreshold_) * expansionSlope_;
        if (gainDecibels == 0) return 1.0;
        return std::pow(10.0, std::max(gainDecibels, -120.0) / 20.0);
    }

private:
    static double coefficient(double sampleRate, double seconds) {
        return seconds <= 0 ? 1.0 : 1.0 - std::exp(-1.0 / (seconds * sampleRate));
    }

    double attack_ = 1;
    double release_ = 1;
    double threshold_ = 0;
    double slope_ = 0;
    double expansionThreshold_ = -300;
    double expansionSlope_ = 0;
    double meanSquare_ = 0;
};

} // namespace vtl
