#pragma once
// One movie track's player for one renderer: a playback context on the track's video track that
// decodes ahead while playing and seeks exactly while scrubbing, with the state the track keeps
// about it (whether it was told to play, and the preparation stamp it last followed). Owned by
// the renderer (see MovieFrameRenderer); used under the track's lock.

#include "platform/foundation/Geometry.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/PlaybackContext.h"

#include <cstddef>
#include <memory>

namespace vtl {

class CompositionMovieTrackObjectPlaybackContext {
public:
    // Pictures come at `size` (its whole part); a track that cannot be played leaves the context
    // without a player (logged), and frames then come from the track's still images.
    CompositionMovieTrackObjectPlaybackContext(std::shared_ptr<const MediaAsset> asset,
                                               std::size_t trackIndex, Size size,
                                               PlaybackContextOptions options = {});

    // Null when the track cannot be played.
    PlaybackContext* player() const { return player_.get(); }
    bool playerPlaying() const { return playerPlaying_; }
    void setPlayerPlaying(bool playing) { playerPlaying_ = playing; }
    // Whether the player was ever sent to a time (a new player stands at 0 with nothing decoded).
    bool playerPositioned() const { return playerPositioned_; }
    void setPlayerPositioned() { playerPositioned_ = true; }
    double preparedForTime() const { return preparedForTime_; }
    void setPreparedForTime(double stamp) { preparedForTime_ = stamp; }

private:
    std::unique_ptr<PlaybackContext> player_;
    bool playerPlaying_ = false;
    bool playerPositioned_ = false;
    double preparedForTime_ = 0;
};

} // namespace vtl
