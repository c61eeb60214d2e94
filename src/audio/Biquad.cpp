#include "audio/Biquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vtl {

namespace {

struct Raw {
    double b0, b1, b2, a0, a1, a2;
};

BiquadCoefficients normalized(const Raw& r) {
    return {r.b0 / r.a0, r.b1 / r.a0, r.b2 / r.a0, r.a1 / r.a0, r.a2 / r.a0};
}

double omega(double sampleRate, double frequency) {
    return 2 * std::numbers::pi * clampedFrequency(frequency, sampleRate) / sampleRate;
}

} // namespace

double clampedFrequency(double frequency, double sampleRate) {
    return std::clamp(frequency, 1.0, sampleRate * 0.49);
}

BiquadCoefficients BiquadCoefficients::lowPass(double fs, double f, double q) {
    const double w = omega(fs, f), c = std::cos(w), alpha = std::sin(w) / (2 * std::max(q, 0.01));
    return normalized({(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha});
}

BiquadCoefficients BiquadCoefficients::highPass(double fs, double f, double q) {
    const double w = omega(fs, f), c = std::cos(w), alpha = std::sin(w) / (2 * std::max(q, 0.01));
    return normalized({(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha});
}

BiquadCoefficients BiquadCoefficients::bandPass(double fs, double f, double q) {
    const double w = omega(fs, f), c = std::cos(w), alpha = std::sin(w) / (2 * std::max(q, 0.01));
    return normalized({alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha});
}

BiquadCoefficients BiquadCoefficients::notch(double fs, double f, double q) {
    const double w = omega(fs, f), c = std::cos(w), alpha = std::sin(w) / (2 * std::max(q, 0.01));
    return normalized({1, -2 * c, 1, 1 + alpha, -2 * c, 1 - alpha});
}

BiquadCoefficients BiquadCoefficients::peaking(double fs, double f, double q, double gainDb) {
    const double a = std::pow(10.0, gainDb / 40), w = omega(fs, f), c = std::cos(w);
    const double alpha = std::sin(w) / (2 * std::max(q, 0.01));
    return normalized({1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a});
}

BiquadCoefficients BiquadCoefficients::lowShelf(double fs, double f, double gainDb) {
    const double a = std::pow(10.0, gainDb / 40), w = omega(fs, f), c = std::cos(w);
    const double alpha = std::sin(w) / 2 * std::numbers::sqrt2;
    const double s = 2 * std::sqrt(a) * alpha;
    return normalized({a * ((a + 1) - (a - 1) * c + s), 2 * a * ((a - 1) - (a + 1) * c),
                       a * ((a + 1) - (a - 1) * c - s), (a + 1) + (a - 1) * c + s,
                       -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - s});
}

BiquadCoefficients BiquadCoefficients::highShelf(double fs, double f, double gainDb) {
    const double a = std::pow(10.0, gainDb / 40), w = omega(fs, f), c = std::cos(w);
    const double alpha = std::sin(w) / 2 * std::numbers::sqrt2;
    const double s = 2 * std::sqrt(a) * alpha;
    return normalized({a * ((a + 1) + (a - 1) * c + s), -2 * a * ((a - 1) + (a + 1) * c),
                       a * ((a + 1) + (a - 1) * c - s), (a + 1) - (a - 1) * c + s,
                       2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - s});
}

void Biquad::reset() {
    z1_[0] = z1_[1] = z2_[0] = z2_[1] = 0;
}

void Biquad::process(float* samples, std::size_t frames, std::size_t channel) {
    double z1 = z1_[channel], z2 = z2_[channel];
    const BiquadCoefficients c = c_;
    for (std::size_t i = 0; i < frames; ++i) {
        const double x = samples[i];
        const double y = c.b0 * x + z1;
        z1 = c.b1 * x - c.a1 * y + z2;
        z2 = c.b2 * x - c.a2 * y;
        samples[i] = static_cast<float>(y);
    }
    z1_[channel] = z1;
    z2_[channel] = z2;
}

void Biquad::processStereo(float* left, float* right, std::size_t frames) {
    using Pair = StereoBiquad::Pair;
    const Pair b0{c_.b0, c_.b0}, b1{c_.b1, c_.b1}, b2{c_.b2, c_.b2}, a1{c_.a1, c_.a1}, a2{c_.a2, c_.a2};
    Pair z1{z1_[0], z1_[1]}, z2{z2_[0], z2_[1]};
    for (std::size_t i = 0; i < frames; ++i) {
        const Pair x{left[i], right[i]};
        const Pair y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        left[i] = static_cast<float>(y[0]);
        right[i] = static_cast<float>(y[1]);
    }
    z1_[0] = z1[0], z1_[1] = z1[1];
    z2_[0] = z2[0], z2_[1] = z2[1];
}

} // namespace vtl
