#pragma once
// How a MovieWriter encodes (or copies) one video track. Plain value.

#include <cstdint>
#include <string>
#include <vector>

namespace vtl {

enum class VideoCodec {
    H264,            // libx264, 4:2:0
    ProRes422,       // prores_ks, 4:2:2 10-bit
    ProRes4444,      // prores_ks, 4:4:4:4 10-bit
    H264Passthrough, // encoded packets handed in as they are
};

struct VideoTrackSettings {
    VideoCodec codec = VideoCodec::H264;
    int widthPixels = 0;
    int heightPixels = 0;
    int frameRateNumerator = 30;
    int frameRateDenominator = 1;
    // H.264: quality when no bit rate is given (x264's CRF), bit rate in bits a second, speed preset,
    // frames between key frames (0: the encoder's choice).
    int constantRateFactor = 23;
    std::int64_t bitRate = 0;
    std::string preset = "veryfast";
    int keyFrameInterval = 0;
    // ProRes profile (0 proxy … 5 XQ); -1: 2 for 422, 4 for 4444.
    int proResProfile = -1;
    // H264Passthrough: the decoder configuration record ("avcC") of the packets.
    std::vector<std::uint8_t> codecConfiguration;
    std::string languageCode; // three letters as the container keeps them; empty: undetermined
    std::string title;
};

} // namespace vtl
