#pragma once
// What a MovieWriter writes: the container, and the settings of each video, sound and text
// track. Plain values.

#include "platform/foundation/Result.h"
#include "platform/media/PcmFormat.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vtl {

enum class MovieContainer {
    FromExtension, // .mov, .m4v, .mp4, .m4a, .aif / .aiff
    QuickTime,     // .mov
    Mpeg4Video,    // .m4v
    Mpeg4,         // .mp4
    Mpeg4Audio,    // .m4a
    Aiff,          // .aiff: PCM sound only
};

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

    PcmFormat inputFormat() const { return PcmFormat{sampleRate, channelCount, inputSampleType, inputLayout}; }
};

struct TextTrackSettings {
    // The tx3g sample entry body (see Tx3gSampleEntry).
    std::vector<std::uint8_t> sampleEntry;
    int widthPixels = 0; // the text box the track spans
    int heightPixels = 0;
    std::string languageCode;
    std::string title;
};

struct MovieWriterOptions {
    MovieContainer container = MovieContainer::FromExtension;
    // Encoder and conversion threads; 0: one per core.
    int threadCount = 0;
    // Called before every write to the file with its offset and size; a failure fails the write
    // (tests use it to fail a write mid-way).
    std::function<Status(std::int64_t offsetBytes, std::size_t sizeBytes)> beforeWrite;
};

} // namespace vtl
