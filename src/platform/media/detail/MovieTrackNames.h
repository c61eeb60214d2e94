#pragma once
// Reads the names QuickTime-family files keep in each track's user data ("name", or the
// international "©nam"), which the demuxer leaves out. Outside data: every size is checked.

#include "platform/media/detail/MediaSource.h"

#include <optional>
#include <string>
#include <vector>

namespace vtl::detail {

// One entry per track box in file order (empty when a track has no name); nullopt when the
// source is no readable QuickTime-family file.
std::optional<std::vector<std::string>> readMovieTrackNames(const MediaSource& source);

} // namespace vtl::detail
