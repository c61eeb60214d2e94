#include "audio/MediaFileFunctions.h"

#include "platform/media/MediaAsset.h"

namespace vtl {

std::optional<std::string> assetTrackName(const MediaTrack& track) {
    if (track.title.empty()) return std::nullopt;
    return track.title;
}

bool assetAtPathSupportsPreciseTiming(const std::string& path) {
    auto asset = MediaAsset::open(path);
    return asset && (*asset)->supportsPreciseTiming();
}

} // namespace vtl
