#pragma once
// The level detector and gain curve shared by the compressors: a mean-square envelope with
// attack and release, compression above a threshold and expansion below another. Plain value
// inside a unit; no allocation.

#include "audio/FastMath.h"

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
        slope_ = 1.0 / std::max(ratio, 1.0) - 1.0;
        expansionSlope_ = std::max(expansionRatio, 1.0) - 1.0;
        // The curve is applied to the mean square itself, so that most frames (those between the
        // two thresholds) need neither a logarithm nor a power.
        thresholdMeanSquare_ = std::pow(10.0, thresholdDecibels / 10.0);
        expansionThresholdMeanSquare_ = std::pow(10.0, expansionThresholdDecibels / 10.0);
        halfSlope_ = slope_ * 0.5;
        halfExpansionSlope_ = expansionSlope_ * 0.5;
        log2Threshold_ = std::log2(thresholdMeanSquare_);
        log2ExpansionThreshold_ = std::log2(expansionThresholdMeanSquare_);
    }
    void reset() { meanSquare_ = 0; }

    // The linear gain for the next frame, given the frame's mean square over its channels.
    [[gnu::always_inline]] double gain(double frameMeanSquare) {
        meanSquare_ += (frameMeanSquare - meanSquare_) * (frameMeanSquare > meanSquare_ ? attack_ : release_);
        const double level = meanSquare_ + 1e-30;
        // gain dB = (level dB - threshold dB) × slope, i.e. (level / threshold)^(slope / 2).
        double gain = 1.0;
        if (level > thresholdMeanSquare_) {
            if (slope_ != 0)
                gain = fastmath::exp2(halfSlope_ * (fastmath::log2Positive(level) - log2Threshold_));
        } else if (level < expansionThresholdMeanSquare_) {
            if (expansionSlope_ != 0)
                gain = fastmath::exp2(halfExpansionSlope_ *
                                      (fastmath::log2Positive(level) - log2ExpansionThreshold_));
        }
        return std::max(gain, kMinimumGain);
    }

private:
    static double coefficient(double sampleRate, double seconds) {
        return seconds <= 0 ? 1.0 : 1.0 - std::exp(-1.0 / (seconds * sampleRate));
    }

    double attack_ = 1;
    double release_ = 1;
    static constexpr double kMinimumGain = 1e-6; // -120 dB
    double thresholdMeanSquare_ = 1;
    double slope_ = 0;
    double expansionThresholdMeanSquare_ = 1e-30;
    double expansionSlope_ = 0;
    double halfSlope_ = 0;
    double halfExpansionSlope_ = 0;
    double log2Threshold_ = 0;
    double log2ExpansionThreshold_ = -99.66; // of 1e-30
    double meanSquare_ = 0;
};

} // namespace vtl
