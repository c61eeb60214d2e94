// Opens fuzzer bytes as a movie or sound file through the media layer and decodes from it: a
// picture at the start and in the middle of each video track, and a little sound at two places of
// each sound track.
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaImageGenerator.h"
#include "platform/media/PcmReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(data, data + size);
    auto asset = vtl::MediaAsset::openBytes(bytes);
    if (!asset) return 0;
    (void)(*asset)->supportsPreciseTiming();
    int videoTracks = 0;
    int audioTracks = 0;
    for (const vtl::MediaTrack& track : (*asset)->tracks()) {
        if (track.type == vtl::MediaType::Video && videoTracks++ < 2) {
            vtl::VideoDecodeOptions options;
            options.threadCount = 1;
            // Big pictures cost time and memory without reaching new code.
            options.maximumPixelCount = 640 * 480;
            options.outputWidthPixels = 64;
            options.outputHeightPixels = 48;
            auto generator = vtl::MediaImageGenerator::create(*asset, track.index, options);
            if (!generator) continue;
            (void)(*generator)->imageAtTime(vtl::MediaTime::zero());
            const vtl::MediaTime middle =
                vtl::MediaTime::fromSeconds((*asset)->duration().seconds() / 2, 600);
            (void)(*generator)->imageAtTime(middle);
        } else if (track.type == vtl::MediaType::Audio && audioTracks++ < 2) {
            auto reader = vtl::PcmReader::open(*asset, track.index, vtl::PcmFormat{});
            if (!reader) continue;
            std::vector<float> left(1024), right(1024);
            void* channels[] = {left.data(), right.data()};
            (void)(*reader)->readPlanar(channels, 1024);
            if ((*reader)->setTimeRange(vtl::MediaTime{1, 2}, vtl::MediaTime{1, 10}))
                (void)(*reader)->readPlanar(channels, 1024);
        }
    }
    return 0;
}
