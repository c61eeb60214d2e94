#pragma once
// A second-order IIR section for two channels (transposed direct form II, double state), with the
// usual designs from the bilinear transform. Used inside effect units; no allocation.

#include <cstddef>

namespace vtl {

struct BiquadCoefficients {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    static BiquadCoefficients lowPass(double sampleRate, double frequency, double q);
    static BiquadCoefficients highPass(double sampleRate, double frequency, double q);
    static BiquadCoefficients bandPass(double sampleRate, double frequency, double q);
    static BiquadCoefficients notch(double sampleRate, double frequency, double q);
    static BiquadCoefficients peaking(double sampleRate, double frequency, double q, double gainDecibels);
    static BiquadCoefficients lowShelf(double sampleRate, double frequency, double gainDecibels);
    static BiquadCoefficients highShelf(double sampleRate, double frequency, double gainDecibels);
};

class Biquad {
public:
    void setCoefficients(const BiquadCoefficients& c) { c_ = c; }
    void reset();
    void process(float* samples, std::size_t frames, std::size_t channel);
    double processSample(double x, std::size_t channel) {
        const double y = c_.b0 * x + z1_[channel];
        z1_[channel] = c_.b1 * x - c_.a1 * y + z2_[channel];
        z2_[channel] = c_.b2 * x - c_.a2 * y;
        return y;
    }

private:
    BiquadCoefficients c_;
    double z1_[2] = {0, 0};
    double z2_[2] = {0, 0};
};

// A frequency kept inside the range a bilinear design handles.
double clampedFrequency(double frequency, double sampleRate);

} // namespace vtl
