#include "audio/AudioPlayer.h"

#include "platform/foundation/Log.h"

namespace vtl {

AudioPlayer::AudioPlayer(std::string path, std::shared_ptr<AudioHardware> hardware)
    : playback_(std::move(path), std::move(hardware), 0) {}

AudioPlayer::~AudioPlayer() {
    playback_.stop();
}

void AudioPlayer::play() {
    if (currentlyPlaying_) {
        ++timesToPlayAfterDone_;
        return;
    }
    if (auto status = playback_.start([this] { cleanup(); }); !status) {
        logMessage("A sound could not be played: " + status.error());
        return;
    }
    currentlyPlaying_ = true;
}

void AudioPlayer::stopPlaying() {
    if (!currentlyPlaying_) return;
    timesToPlayAfterDone_ = 0;
    cleanup();
}

void AudioPlayer::cleanup() {
    if (!currentlyPlaying_) return;
    playback_.stop();
    currentlyPlaying_ = false;
    if (timesToPlayAfterDone_ > 0) {
        --timesToPlayAfterDone_;
        play();
        if (currentlyPlaying_) return;
        timesToPlayAfterDone_ = 0;
    }
    if (delegate_) delegate_->playerDone(*this);
}

} // namespace vtl
