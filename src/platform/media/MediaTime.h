#pragma once
// A time in a movie as a rational number of seconds (value ÷ timeScale), exact for any time base
// a file uses. Plain value; nobody owns it. Media time 0 is the file's start for every track.

#include <compare>
#include <cstdint>

namespace vtl {

struct MediaTime {
    // The scale the system's own times use (600 units a second).
    static constexpr std::int32_t defaultTimeScale = 600;

    std::int64_t value = 0;
    std::int32_t timeScale = 0; // 0 or less: not a valid time

    static constexpr MediaTime invalid() { return {}; }
    static constexpr MediaTime zero(std::int32_t timeScale = defaultTimeScale) { return {0, timeScale}; }
    // The nearest time of that scale (halves away from zero); invalid for NaN, infinities, a scale
    // of 0 or a value out of range.
    static MediaTime fromSeconds(double seconds, std::int32_t timeScale = defaultTimeScale);

    bool isValid() const { return timeScale > 0; }
    double seconds() const;
    // The time in another scale, rounded to nearest (halves away from zero) or towards minus
    // infinity; invalid when it does not fit.
    enum class Rounding { Nearest, Down };
    MediaTime convertedToScale(std::int32_t newTimeScale, Rounding rounding = Rounding::Nearest) const;

    // Exact comparison across scales; an invalid time is less than every valid one.
    friend std::strong_ordering operator<=>(const MediaTime& a, const MediaTime& b);
    friend bool operator==(const MediaTime& a, const MediaTime& b) { return (a <=> b) == 0; }
};

} // namespace vtl
