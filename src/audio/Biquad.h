#pragma once
// A second-order IIR section for two channels (transposed direct form II, double state), with the
// usual designs from the bilinear transform, and the same section running both channels in one
// vector. Used inside effect units; no allocation.

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
    // Both channels at once: the same results as a process() of each.
    void processStereo(float* left, float* right, std::size_t frames);
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

// One section for both channels at once, as a pair of doubles: the arithmetic of two Biquads,
// in half the instructions.
class StereoBiquad {
public:
    using Pair = double __attribute__((vector_size(16)));
    void setCoefficients(const BiquadCoefficients& c) {
        b0_ = Pair{c.b0, c.b0};
        b1_ = Pair{c.b1, c.b1};
        b2_ = Pair{c.b2, c.b2};
        a1_ = Pair{c.a1, c.a1};
        a2_ = Pair{c.a2, c.a2};
    }
    void reset() { z1_ = z2_ = Pair{0, 0}; }
    Pair processSample(Pair x) {
        const Pair y = b0_ * x + z1_;
        z1_ = b1_ * x - a1_ * y + z2_;
        z2_ = b2_ * x - a2_ * y;
        return y;
    }

private:
    Pair b0_{1, 1}, b1_{0, 0}, b2_{0, 0}, a1_{0, 0}, a2_{0, 0};
    Pair z1_{0, 0}, z2_{0, 0};
};

// A frequency kept inside the range a bilinear design handles.
double clampedFrequency(double frequency, double sampleRate);

} // namespace vtl
