#pragma once
// The shape of linear PCM handed to or taken from the media layer. Plain value.

#include <cstddef>
#include <cstdint>

namespace vtl {

enum class PcmSampleType { Int16, Float32 };
enum class PcmLayout {
    Interleaved, // one buffer, channels alternating
    Planar,      // one buffer per channel
};

struct PcmFormat {
    std::int32_t sampleRate = 44100;
    std::int32_t channelCount = 2;
    PcmSampleType sampleType = PcmSampleType::Float32;
    PcmLayout layout = PcmLayout::Planar;

    std::size_t bytesPerSample() const { return sampleType == PcmSampleType::Int16 ? 2 : 4; }
    // Bytes of one frame in one buffer: all channels when interleaved, one when planar.
    std::size_t bytesPerFrameInBuffer() const {
        return bytesPerSample() *
               (layout == PcmLayout::Interleaved ? static_cast<std::size_t>(channelCount) : 1);
    }
    std::size_t bufferCount() const {
        return layout == PcmLayout::Planar ? static_cast<std::size_t>(channelCount) : 1;
    }
    bool isUsable() const {
        return sampleRate > 0 && sampleRate <= 768000 && channelCount > 0 && channelCount <= 64;
    }

    friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

} // namespace vtl
