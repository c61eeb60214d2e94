#pragma once
// What a movie or sound file says about one of its tracks. Plain value, copied out of a
// MediaAsset; times are media times (0 = the file's start).

#include "platform/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtl {

enum class MediaType {
    Video,
    Audio,
    Subtitle, // timed text (subtitles and text tracks)
    Data,     // chapter lists and other data the file keeps as a track
    Other,    // cover pictures and anything else
};

struct MediaTrack {
    std::size_t index = 0; // position among all tracks of the file
    MediaType type = MediaType::Other;
    std::string codecName;      // short codec name ("h264", "aac", "prores", …)
    bool hasDecoder = false;    // whether frames or samples of this track can be decoded here
    std::int32_t timeScale = 0; // the track's own time scale (units a second)
    MediaTime startTime;        // first presentation time
    MediaTime duration;

    // Video: the coded picture size and the frame rate from the container's base rate.
    std::int32_t widthPixels = 0;
    std::int32_t heightPixels = 0;
    std::int32_t frameRateNumerator = 0;
    std::int32_t frameRateDenominator = 0;
    // Audio.
    std::int32_t sampleRate = 0;
    std::int32_t channelCount = 0;

    std::string languageCode; // as stored (three letters, "und" when undetermined), or empty
    std::string title;        // the track's name, or empty

    double frameRate() const {
        return frameRateDenominator > 0 ? static_cast<double>(frameRateNumerator) / frameRateDenominator : 0;
    }
    // One frame in seconds as the base rate gives it; 0 when there is none.
    double frameDurationSeconds() const {
        return frameRateNumerator > 0 ? static_cast<double>(frameRateDenominator) / frameRateNumerator : 0;
    }
};

} // namespace vtl
