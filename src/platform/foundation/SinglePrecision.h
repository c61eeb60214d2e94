#pragma once
// Rounding to single precision that holds at every optimisation level. Stateless.
//
// Several geometry and colour rules round an intermediate double to float on purpose, and callers
// rely on the exact result. GCC 12's vectoriser drops a `static_cast<float>` whose result is
// widened straight back to double (two such casts side by side at -O2 and above), so the rounded
// value goes through an empty asm statement: the optimiser must then materialise the float.

namespace vtl {

inline float roundedToFloat(double value) {
    float rounded = static_cast<float>(value);
#if defined(__GNUC__) && defined(__x86_64__)
    asm("" : "+x"(rounded));
#elif defined(__GNUC__) && defined(__aarch64__)
    asm("" : "+w"(rounded));
#else
    volatile float kept = rounded;
    rounded = kept;
#endif
    return rounded;
}

// The double a float holds nearest to `value`.
inline double singlePrecision(double value) {
    return roundedToFloat(value);
}

} // namespace vtl
