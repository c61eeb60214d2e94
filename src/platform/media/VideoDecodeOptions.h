#pragma once
// How a frame reader, image generator or playback context decodes and converts a video track.
// Plain value.

#include <cstdint>

namespace vtl {

struct VideoDecodeOptions {
    // Threads of the decoder and of the conversion to B, G, R, A; 0 picks one per core.
    int threadCount = 0;
    // Size of the images handed out; 0 keeps the track's picture size.
    int outputWidthPixels = 0;
    int outputHeightPixels = 0;
    // Pictures with more pixels than this are refused (the decoder would need too much memory).
    std::int64_t maximumPixelCount = std::int64_t{16384} * 16384;
};

} // namespace vtl
