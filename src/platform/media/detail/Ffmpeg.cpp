#include "platform/media/detail/Ffmpeg.h"

#include <limits>

namespace vtl::detail {

std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool isUsableTimeBase(AVRational timeBase) {
    return timeBase.num > 0 && timeBase.den > 0;
}

MediaTime mediaTimeFromTicks(std::int64_t ticks, AVRational timeBase) {
    if (!isUsableTimeBase(timeBase) || ticks == AV_NOPTS_VALUE) return MediaTime::invalid();
    const __int128 value = static_cast<__int128>(ticks) * timeBase.num;
    if (value > std::numeric_limits<std::int64_t>::max() / 4 ||
        value < std::numeric_limits<std::int64_t>::min() / 4)
        return MediaTime::invalid();
    return {static_cast<std::int64_t>(value), timeBase.den};
}

std::int64_t ticksFromMediaTime(MediaTime time, AVRational timeBase, MediaTime::Rounding rounding) {
    if (!time.isValid() || !isUsableTimeBase(timeBase)) return AV_NOPTS_VALUE;
    // ticks = value / timeScale × den / num
    __int128 numerator = static_cast<__int128>(time.value) * timeBase.den;
    const __int128 denominator = static_cast<__int128>(time.timeScale) * timeBase.num;
    __int128 quotient = numerator / denominator;
    const __int128 remainder = numerator % denominator;
    if (rounding == MediaTime::Rounding::Down) {
        if (remainder < 0) --quotient;
    } else if (remainder * 2 >= denominator) {
        ++quotient;
    } else if (remainder * 2 <= -denominator) {
        --quotient;
    }
    if (quotient > std::numeric_limits<std::int64_t>::max() / 4 ||
        quotient < std::numeric_limits<std::int64_t>::min() / 4)
        return AV_NOPTS_VALUE;
    return static_cast<std::int64_t>(quotient);
}

std::int64_t originTicks(std::int64_t originMicroseconds, AVRational timeBase) {
    if (!isUsableTimeBase(timeBase)) return AV_NOPTS_VALUE;
    return av_rescale_q_rnd(originMicroseconds, AVRational{1, AV_TIME_BASE}, timeBase,
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

MediaTime mediaTimeFromStreamTicks(std::int64_t ticks, std::int64_t origin, AVRational timeBase) {
    if (ticks == AV_NOPTS_VALUE || origin == AV_NOPTS_VALUE) return MediaTime::invalid();
    const __int128 relative = static_cast<__int128>(ticks) - origin;
    if (relative > std::numeric_limits<std::int64_t>::max() ||
        relative < std::numeric_limits<std::int64_t>::min())
        return MediaTime::invalid();
    return mediaTimeFromTicks(static_cast<std::int64_t>(relative), timeBase);
}

std::int64_t streamTicksFromMediaTime(MediaTime time, std::int64_t origin, AVRational timeBase,
                                      MediaTime::Rounding rounding) {
    const std::int64_t ticks = ticksFromMediaTime(time, timeBase, rounding);
    if (ticks == AV_NOPTS_VALUE || origin == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    const __int128 absolute = static_cast<__int128>(ticks) + origin;
    if (absolute > std::numeric_limits<std::int64_t>::max() / 4 ||
        absolute < std::numeric_limits<std::int64_t>::min() / 4)
        return AV_NOPTS_VALUE;
    return static_cast<std::int64_t>(absolute);
}

} // namespace vtl::detail
