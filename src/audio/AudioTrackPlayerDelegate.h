#pragma once
// What a track player tells the track that owns it, on the main thread. Every method has a
// do-nothing default, so a delegate answers only what it cares about. Not owned by the player.

#include "audio/MutePhase.h"
#include "audio/UnitConfigurations.h"

namespace vtl {

class AudioTrackPlayer;

class AudioTrackPlayerDelegate {
public:
    virtual ~AudioTrackPlayerDelegate() = default;

    // The user changed a parameter of one of the player's units; `previous` is the chain's
    // configuration before the change, for undo.
    virtual void registerForUndoWithPreviousConfiguration(const UnitConfigurations& previous) {
        (void)previous;
    }
    // Playback reached the start of a mute phase.
    virtual void mutePhaseEntered(AudioTrackPlayer& player, const MutePhase& phase) {
        (void)player;
        (void)phase;
    }
};

} // namespace vtl
