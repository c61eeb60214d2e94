#include "platform/media/MediaTime.h"

#include <cmath>
#include <limits>

namespace vtl {

namespace {

__int128 roundedQuotient(__int128 numerator, __int128 denominator, MediaTime::Rounding rounding) {
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    __int128 quotient = numerator / denominator;
    __int128 remainder = numerator % denominator;
    if (rounding == MediaTime::Rounding::Down) {
        if (remainder < 0) --quotient;
        return quotient;
    }
    if (remainder * 2 >= denominator)
        ++quotient;
    else if (remainder * 2 <= -denominator)
        --quotient;
    return quotient;
}

} // namespace

MediaTime MediaTime::fromSeconds(double seconds, std::int32_t timeScale) {
    if (timeScale <= 0 || !std::isfinite(seconds)) return invalid();
    const double scaled = std::round(seconds * timeScale);
    // 2^62 keeps every later cross-multiplication inside 128 bits with room to spare.
    if (!(std::fabs(scaled) < 4.6e18)) return invalid();
    return {static_cast<std::int64_t>(scaled), timeScale};
}

double MediaTime::seconds() const {
    if (!isValid()) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(value) / timeScale;
}

MediaTime MediaTime::convertedToScale(std::int32_t newTimeScale, Rounding rounding) const {
    if (!isValid() || newTimeScale <= 0) return invalid();
    if (newTimeScale == timeScale) return *this;
    const __int128 converted =
        roundedQuotient(static_cast<__int128>(value) * newTimeScale, timeScale, rounding);
    if (converted > std::numeric_limits<std::int64_t>::max() ||
        converted < std::numeric_limits<std::int64_t>::min())
        return invalid();
    return {static_cast<std::int64_t>(converted), newTimeScale};
}

std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid() || !b.isValid()) return a.isValid() <=> b.isValid();
    const __int128 left = static_cast<__int128>(a.value) * b.timeScale;
    const __int128 right = static_cast<__int128>(b.value) * a.timeScale;
    return left <=> right;
}

} // namespace vtl
