// vistrel-media-info FILE: prints the tracks (kind, codec, sizes, rates, channels, language, name,
// start and duration at 600 units a second), the chapters and the file's duration as the media
// layer reads them. Exits 1 with one line on standard error when the file cannot be read, 2 on
// wrong arguments.

#include "platform/media/MediaAsset.h"

#include <cinttypes>
#include <cstdio>
#include <string>

using namespace vtl;

namespace {

std::string at600(MediaTime time) {
    if (!time.isValid()) return "unknown";
    const MediaTime scaled = time.convertedToScale(600);
    char text[96];
    std::snprintf(text, sizeof text, "%" PRId64 "/600 (%.3f s)", scaled.value, time.seconds());
    return text;
}

const char* kindName(MediaType type) {
    switch (type) {
    case MediaType::Video:
        return "video";
    case MediaType::Audio:
        return "audio";
    case MediaType::Subtitle:
        return "subtitle";
    case MediaType::Data:
        return "data";
    case MediaType::Other:
        return "other";
    }
    return "other";
}

} // namespace

int main(int argc, char** argv) {
    constexpr const char* usage = "usage: vistrel-media-info FILE";
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && first == "--help") {
        std::printf("%s\n", usage);
        return 0;
    }
    if (argc == 2 && first.rfind("--", 0) == 0) {
        std::fprintf(stderr, "vistrel-media-info: unknown option %s (%s)\n", first.c_str(), usage);
        return 2;
    }
    if (argc != 2) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    const std::string path = argv[1];
    auto opened = MediaAsset::open(path);
    if (!opened) {
        std::fprintf(stderr, "vistrel-media-info: %s: %s\n", path.c_str(), opened.error().c_str());
        return 1;
    }
    const MediaAsset& asset = **opened;
    std::printf("file: %s\n", path.c_str());
    std::printf("format: %s\n", asset.formatName().c_str());
    std::printf("duration: %s\n", at600(asset.duration()).c_str());
    std::printf("tracks: %zu\n", asset.trackCount());
    for (const MediaTrack& track : asset.tracks()) {
        std::printf("track %zu: %s %s%s", track.index, kindName(track.type), track.codecName.c_str(),
                    track.hasDecoder || (track.type != MediaType::Video && track.type != MediaType::Audio)
                        ? ""
                        : " (no decoder)");
        if (track.type == MediaType::Video) {
            std::printf(", %d x %d", track.widthPixels, track.heightPixels);
            if (track.frameRateNumerator > 0)
                std::printf(", %d/%d fps", track.frameRateNumerator, track.frameRateDenominator);
        } else if (track.type == MediaType::Audio) {
            std::printf(", %d Hz, %d channel%s", track.sampleRate, track.channelCount,
                        track.channelCount == 1 ? "" : "s");
        }
        std::printf(", time scale %d, start %s, duration %s", track.timeScale, at600(track.startTime).c_str(),
                    at600(track.duration).c_str());
        if (!track.languageCode.empty()) std::printf(", language %s", track.languageCode.c_str());
        if (!track.title.empty()) std::printf(", title \"%s\"", track.title.c_str());
        std::printf("\n");
    }
    std::printf("chapters: %zu\n", asset.chapters().size());
    for (std::size_t i = 0; i < asset.chapters().size(); ++i) {
        const MediaChapter& chapter = asset.chapters()[i];
        std::printf("chapter %zu: %s to %s \"%s\"\n", i + 1, at600(chapter.start).c_str(),
                    at600(chapter.end).c_str(), chapter.title.c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
