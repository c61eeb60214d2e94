#pragma once
// Plays a short sound file on the default output, outside any track (the click sounds of
// recordings). A play asked for while one is under way is owed and follows when it ends; the
// delegate hears when the last one is done. The file is decoded once. Owned by whoever plays the
// sound; main thread only (the end of a play arrives by a main-queue timer).

#include "audio/AudioPlayerDelegate.h"
#include "audio/SoundFilePlayback.h"

#include <memory>
#include <string>

namespace vtl {

class AudioHardware;

class AudioPlayer {
public:
    explicit AudioPlayer(std::string path, std::shared_ptr<AudioHardware> hardware = nullptr);
    ~AudioPlayer();

    void play();
    // Drops owed plays and ends the current one at once.
    void stopPlaying();
    // Ends a play: the timer's target.
    void cleanup();
    void setDelegate(AudioPlayerDelegate* delegate) { delegate_ = delegate; }

    bool currentlyPlaying() const { return currentlyPlaying_; }
    int timesToPlayAfterDone() const { return timesToPlayAfterDone_; }

private:
    SoundFilePlayback playback_;
    AudioPlayerDelegate* delegate_ = nullptr;
    bool currentlyPlaying_ = false;
    int timesToPlayAfterDone_ = 0;
};

} // namespace vtl
