#pragma once
// Told by an AudioPlayer, on the main thread, that its last play has ended. Not owned by the player.

namespace vtl {

class AudioPlayer;

class AudioPlayerDelegate {
public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void playerDone(AudioPlayer& player) = 0;
};

} // namespace vtl
