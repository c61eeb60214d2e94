#pragma once
// Power and hyperbolic tangent for per-sample gain curves, several times faster than the C
// library's and within a few parts in 10^9 of them: far below what a float sample can show.
// Plain inline functions.

#include <bit>
#include <cstdint>

namespace vtl::fastmath {

// log2(x) for a positive, finite x.
inline double log2Positive(double x) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    double mantissa = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
    if (exponent == -1023) return -1074.0; // subnormal: far below anything audible
    if (mantissa > 1.4142135623730951) {
        mantissa *= 0.5;
        ++exponent;
    }
    // ln m = 2 atanh t with t = (m − 1) / (m + 1), |t| ≤ 0.172: the series to t⁹ is exact to 1e-9.
    const double t = (mantissa - 1) / (mantissa + 1);
    const double t2 = t * t;
    const double ln = 2 * t * (1 + t2 * (1.0 / 3 + t2 * (1.0 / 5 + t2 * (1.0 / 7 + t2 * (1.0 / 9)))));
    return exponent + ln * 1.4426950408889634;
}

// 2^y, y clamped to ±1020 (NaN counts as −1020).
inline double exp2(double y) {
    if (!(y > -1020.0))
        y = -1020.0;
    else if (y > 1020.0)
        y = 1020.0;
    const auto whole = static_cast<std::int64_t>(y + 1024.5) - 1024; // nearest integer
    const double z = (y - static_cast<double>(whole)) * 0.6931471805599453; // |z| ≤ ln2 / 2
    const double e =
        1 + z * (1 + z * (1.0 / 2 + z * (1.0 / 6 + z * (1.0 / 24 + z * (1.0 / 120 + z * (1.0 / 720 + z / 5040))))));
    return e * std::bit_cast<double>(static_cast<std::uint64_t>(whole + 1023) << 52);
}

// base^exponent for a positive, finite base.
inline double power(double base, double exponent) {
    return exp2(exponent * log2Positive(base));
}

inline double tanh(double x) {
    const double e = exp2(2.8853900817779268 * x); // e^(2x)
    return (e - 1) / (e + 1);
}

} // namespace vtl::fastmath
