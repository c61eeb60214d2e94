#include "platform/audio/AudioHardware.h"

#include "platform/audio/NullAudioHardware.h"
#include "platform/audio/PulseAudioHardware.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

namespace vtl {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<AudioHardware>& sharedInstance() {
    static std::shared_ptr<AudioHardware> instance;
    return instance;
}

} // namespace

std::shared_ptr<AudioHardware> AudioHardware::shared() {
    std::lock_guard lock(sharedMutex());
    auto& instance = sharedInstance();
    if (!instance) {
        const char* backend = std::getenv("VISTREL_AUDIO");
        if (backend && std::string_view(backend) == "null")
            instance = std::make_shared<NullAudioHardware>();
        else
            instance = std::make_shared<PulseAudioHardware>();
    }
    return instance;
}

Result<std::unique_ptr<AudioInputStream>>
AudioHardware::openSystemAudioStream(std::uint32_t channelCount, std::uint32_t sampleRate,
                                     AudioCaptureCallback callback) {
    for (const AudioDeviceDescription& device : devices())
        if (device.name == systemAudioDeviceName && !device.inputStreams.empty())
            return openInputStream(device.deviceID, channelCount, sampleRate, std::move(callback));
    return fail("The system's sound cannot be recorded: there is no output to listen to.");
}

void AudioHardware::setShared(std::shared_ptr<AudioHardware> hardware) {
    std::lock_guard lock(sharedMutex());
    sharedInstance() = std::move(hardware);
}

} // namespace vtl
