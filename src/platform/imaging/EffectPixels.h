#pragma once
// Small pixel and math helpers of the effect filters' kernels: un-premultiplied colour access,
// smooth steps, and table-driven trigonometry that gives the same bits for a pixel whichever tile
// computes it. Internal to the imaging layer.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace vtl::detail {

// Un-premultiplied colour, components nominally 0…1.
struct UnitColor {
    float r = 0, g = 0, b = 0, a = 0;
};

// The un-premultiplied colour of a premultiplied B, G, R, A pixel.
inline UnitColor unitColorOf(const std::uint8_t* p) {
    if (p[3] == 0) return {};
    float inv = 1.0f / p[3];
    return {p[2] * inv, p[1] * inv, p[0] * inv, p[3] * (1.0f / 255)};
}

inline float clampUnit(float v) {
    return v > 0 ? (v < 1 ? v : 1) : 0; // NaN → 0
}

// Writes the colour premultiplied, each component clamped to 0…1 first.
inline void storeUnitColor(std::uint8_t* p, const UnitColor& c) {
    float a = clampUnit(c.a);
    int alpha = int(a * 255 + 0.5f);
    auto channel = [&](float v) { return std::uint8_t(std::min(alpha, int(clampUnit(v) * a * 255 + 0.5f))); };
    p[0] = channel(c.b);
    p[1] = channel(c.g);
    p[2] = channel(c.r);
    p[3] = std::uint8_t(alpha);
}

// Rec. 709 luminance weights, as the colour filters use them.
inline float unitLuminance(const UnitColor& c) {
    return 0.2125f * c.r + 0.7154f * c.g + 0.0721f * c.b;
}

// The same weights in 1/256 units over bytes (sum 256), for integer kernels.
inline int byteLuminance256(const std::uint8_t* p) {
    return 54 * p[2] + 183 * p[1] + 19 * p[0];
}

// ⌊v⌋ for |v| < 2³¹, without a library call (the build targets plain SSE2, which has no rounding
// instruction).
inline int floorToInt(double v) {
    int i = int(v);
    return i - (v < double(i));
}

// 0 below e0, 1 above e1, a smooth cubic between; a step at e0 when e1 ≤ e0.
inline double smoothStep(double e0, double e1, double x) {
    if (!(e1 > e0)) return x < e0 ? 0.0 : 1.0;
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Exact round(x / 255) for 0 ≤ x ≤ 65535.
inline std::uint32_t divideBy255(std::uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// cos(2π·i / cosineTableSteps) for i = 0 … cosineTableSteps.
inline constexpr int cosineTableSteps = 4096;
extern const std::array<double, cosineTableSteps + 1> cosineTable;

// cos(2π·t) and sin(2π·t) from the table with linear interpolation (error below 1e-6).
inline double cosineOfTurns(double t) {
    if (!(std::fabs(t) < 1e9)) return 1;
    const double f = (t - floorToInt(t)) * cosineTableSteps;
    const int i = std::min(int(f), cosineTableSteps - 1);
    return cosineTable[std::size_t(i)] +
           (cosineTable[std::size_t(i) + 1] - cosineTable[std::size_t(i)]) * (f - i);
}
inline double sineOfTurns(double t) {
    return cosineOfTurns(t - 0.25);
}

// atan2 to within 1e-5 radians, in −π…π.
inline double fastAtan2(double y, double x) {
    constexpr double halfPi = 1.5707963267948966, pi = 3.141592653589793;
    const double ax = std::fabs(x), ay = std::fabs(y);
    if (ax == 0 && ay == 0) return 0;
    // An odd minimax polynomial for atan on [0, 1].
    const double a = std::min(ax, ay) / std::max(ax, ay), s = a * a;
    double r = -0.0040540580;
    for (double k : {0.0218612288, -0.0559098861, 0.0964200441, -0.1390853351, 0.1994653599, -0.3332985605})
        r = r * s + k;
    r = r * s * a + a;
    if (ay > ax) r = halfPi - r;
    if (x < 0) r = pi - r;
    return y < 0 ? -r : r;
}

// A well-mixed 32-bit hash of two integers, for jittered cell patterns.
inline std::uint32_t cellHash(std::int64_t i, std::int64_t j) {
    std::uint64_t h = std::uint64_t(i) * 0x9E3779B97F4A7C15ull ^ (std::uint64_t(j) + 0x632BE59BD9B4E019ull);
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return std::uint32_t(h);
}

// A hash as a number in [0, 1).
inline double unitOfHash(std::uint32_t h) {
    return double(h >> 8) * (1.0 / 16777216.0);
}

// Two independent numbers in [0, 1) for a cell, to place a point in it.
inline void cellJitter(std::int64_t i, std::int64_t j, double& x, double& y) {
    x = unitOfHash(cellHash(i, j));
    y = unitOfHash(cellHash(j ^ 0x5BD1E995, i + 0x27D4EB2F));
}

} // namespace vtl::detail
