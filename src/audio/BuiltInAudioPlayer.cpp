#include "audio/BuiltInAudioPlayer.h"

#include "audio/VTLAudioTools.h"
#include "platform/audio/AudioHardware.h"
#include "platform/foundation/Log.h"

namespace vtl {

std::unique_ptr<BuiltInAudioPlayer> BuiltInAudioPlayer::create(std::string path,
                                                               std::shared_ptr<AudioHardware> hardware) {
    if (!hardware) hardware = AudioHardware::shared();
    const std::uint32_t device = VTLAudioTools::builtInOutputDeviceID(*hardware);
    if (device == 0) {
        logMessage("built in audio device could not be determined");
        return nullptr;
    }
    return std::unique_ptr<BuiltInAudioPlayer>(
        new BuiltInAudioPlayer(std::move(path), std::move(hardware), device));
}

BuiltInAudioPlayer::BuiltInAudioPlayer(std::string path, std::shared_ptr<AudioHardware> hardware,
                                       std::uint32_t deviceID)
    : playback_(std::move(path), std::move(hardware), deviceID)
    , builtInDeviceID_(deviceID) {}

BuiltInAudioPlayer::~BuiltInAudioPlayer() {
    playback_.stop();
}

void BuiltInAudioPlayer::play() {
    if (currentlyPlaying_) return;
    if (auto status = playback_.start([this] { cleanup(); }); !status) {
        logMessage("A sound could not be played: " + status.error());
        return;
    }
    currentlyPlaying_ = true;
}

void BuiltInAudioPlayer::cleanup() {
    if (!currentlyPlaying_) return;
    playback_.stop();
    currentlyPlaying_ = false;
}

} // namespace vtl
