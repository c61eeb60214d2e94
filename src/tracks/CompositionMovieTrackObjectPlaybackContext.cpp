#include "tracks/CompositionMovieTrackObjectPlaybackContext.h"

#include "platform/foundation/Log.h"

#include <cmath>

namespace vtl {

CompositionMovieTrackObjectPlaybackContext::CompositionMovieTrackObjectPlaybackContext(
    std::shared_ptr<const MediaAsset> asset, std::size_t trackIndex, Size size,
    PlaybackContextOptions options) {
    if (!asset) return;
    // Sizes out of range keep the track's own picture size.
    if (size.width >= 1 && size.height >= 1 && size.width <= 16384 && size.height <= 16384) {
        options.decode.outputWidthPixels = static_cast<int>(std::floor(size.width));
        options.decode.outputHeightPixels = static_cast<int>(std::floor(size.height));
    }
    auto player = PlaybackContext::create(std::move(asset), trackIndex, std::move(options));
    if (!player) {
        logMessage("The movie track cannot be played: " + player.error());
        return;
    }
    player_ = std::move(player).value();
}

} // namespace vtl
