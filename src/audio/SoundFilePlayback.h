#pragma once
// The part the two sound-file players share: the file decoded once into memory, an output stream
// on one device that plays it from the start, and a main-queue timer that fires when the sound has
// been heard. Owned by its player; main thread only.

#include "audio/MemoryPcmSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class AudioHardware;
class AudioOutputStream;
class DispatchTimer;

class SoundFilePlayback {
public:
    // deviceID 0: the default output.
    SoundFilePlayback(std::string path, std::shared_ptr<AudioHardware> hardware, std::uint32_t deviceID);
    ~SoundFilePlayback();
    SoundFilePlayback(const SoundFilePlayback&) = delete;
    SoundFilePlayback& operator=(const SoundFilePlayback&) = delete;

    // Plays the sound from its start; `heard` runs on the main queue once it has been played out.
    Status start(std::function<void()> heard);
    // Stops at once; the timer does not fire.
    void stop();
    double durationSeconds() const;

private:
    Status load();

    struct Samples {
        std::vector<float> left;
        std::vector<float> right;
        std::atomic<std::size_t> position{0};
    };

    std::string path_;
    std::shared_ptr<AudioHardware> hardware_;
    std::uint32_t deviceID_;
    std::unique_ptr<Samples> samples_;
    std::unique_ptr<AudioOutputStream> output_;
    std::shared_ptr<DispatchTimer> timer_;
};

} // namespace vtl
