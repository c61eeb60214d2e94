#pragma once
// Plays a short sound file on the machine's own speakers whatever the default output is (the
// record window's hint sounds). A play asked for while one is under way is ignored. Owned by
// whoever plays the sound; main thread only.

#include "audio/SoundFilePlayback.h"

#include <memory>
#include <string>

namespace vtl {

class AudioHardware;

class BuiltInAudioPlayer {
public:
    // Null (logged) when the machine has no built-in output.
    static std::unique_ptr<BuiltInAudioPlayer> create(std::string path,
                                                      std::shared_ptr<AudioHardware> hardware = nullptr);
    ~BuiltInAudioPlayer();

    void play();
    void cleanup();
    bool currentlyPlaying() const { return currentlyPlaying_; }
    std::uint32_t builtInDeviceID() const { return builtInDeviceID_; }

private:
    BuiltInAudioPlayer(std::string path, std::shared_ptr<AudioHardware> hardware, std::uint32_t deviceID);

    SoundFilePlayback playback_;
    std::uint32_t builtInDeviceID_;
    bool currentlyPlaying_ = false;
};

} // namespace vtl
