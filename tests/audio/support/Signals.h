#pragma once
// Test signals and measurements for audio tests: tones, levels, single-frequency amplitudes.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <utility>
#include <vector>

namespace vtl::test {

constexpr double sampleRate = 44100;

inline std::vector<float> tone(double frequency, double amplitude, std::size_t frames) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate));
    return out;
}

inline double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    to = std::min(to, x.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

inline double decibels(double ratio) {
    return 20 * std::log10(std::max(ratio, 1e-12));
}

inline double peak(const std::vector<float>& x, std::size_t from = 0,
                   std::size_t to = static_cast<std::size_t>(-1)) {
    to = std::min(to, x.size());
    double p = 0;
    for (std::size_t i = from; i < to; ++i)
        p = std::max(p, static_cast<double>(std::abs(x[i])));
    return p;
}

// Amplitude of the component at `frequency` (a sine of amplitude A gives A), over [from, to).
inline double amplitudeAt(const std::vector<float>& x, double frequency, std::size_t from, std::size_t to,
                          double rate = sampleRate) {
    to = std::min(to, x.size());
    double re = 0, im = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double w = 2 * std::numbers::pi * frequency * static_cast<double>(i - from) / rate;
        // Hann window, so neighbouring components leak little.
        const double h = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i - from) /
                                              static_cast<double>(to - from));
        re += x[i] * h * std::cos(w);
        im += x[i] * h * std::sin(w);
    }
    return 2 * std::hypot(re, im) / (0.5 * static_cast<double>(to - from));
}

// Gaps in a sound that should go on: runs of at least `frames` quiet frames in [from, to) (a tone
// of some level crosses zero in far less than a millisecond). Each is (start, length) in frames.
inline std::vector<std::pair<std::size_t, std::size_t>> gaps(const std::vector<float>& x, std::size_t from,
                                                             std::size_t to, std::size_t frames = 88) {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    to = std::min(to, x.size());
    std::size_t run = 0;
    for (std::size_t i = from; i <= to; ++i) {
        if (i < to && std::abs(x[i]) < 0.01f) {
            ++run;
            continue;
        }
        if (run >= frames) found.emplace_back(i - run, run);
        run = 0;
    }
    return found;
}

// The strongest frequency between low and high, by a fine scan.
inline double dominantFrequency(const std::vector<float>& x, double low, double high, std::size_t from,
                                std::size_t to, double rate = sampleRate) {
    double best = low, bestAmplitude = -1;
    for (double f = low; f <= high; f += 0.25) {
        const double a = amplitudeAt(x, f, from, to, rate);
        if (a > bestAmplitude) {
            bestAmplitude = a;
            best = f;
        }
    }
    return best;
}

} // namespace vtl::test
