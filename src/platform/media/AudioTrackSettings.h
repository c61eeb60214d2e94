#pragma once
// How a MovieWriter encodes one sound track, and how its samples are handed in. Plain value.

#include "platform/media/PcmFormat.h"

#include <cstdint>
#include <string>

namespace vtl {

enum class AudioCodec { Aac, PcmInt16BigEndian, PcmInt16LittleEndian };

struct AudioTrackSettings {
    AudioCodec codec = AudioCodec::Aac;
    int sampleRate = 44100;
    int channelCount = 2;
    std::int64_t bitRate = 0; // AAC; 0: 64 kbit/s a channel
    // How samples are handed to appendAudio (at the track's rate and channel count).
    PcmSampleType inputSampleType = PcmSampleType::Float32;
    PcmLayout inputLayout = PcmLayout::Planar;
    std::string languageCode;
    std::string title;

    PcmFormat inputFormat() const {
        return PcmFormat{sampleRate, channelCount, inputSampleType, inputLayout};
    }
};

} // namespace vtl
