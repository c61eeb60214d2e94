#pragma once
// Two questions about media files that tracks and players ask: a track's name and whether a
// file's times can be trusted to the sample. Plain functions over the media layer.

#include "platform/media/MediaTrack.h"

#include <optional>
#include <string>

namespace vtl {

// The track's "title"; nothing when it has none.
std::optional<std::string> assetTrackName(const MediaTrack& track);

// Opens the file: no tracks (or unreadable) gives false, a first track that is not sound gives
// true, a first sound track gives whether its first samples decode as 16-bit 44.1 kHz PCM.
bool assetAtPathSupportsPreciseTiming(const std::string& path);

} // namespace vtl
