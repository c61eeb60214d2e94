#pragma once
// The audio device layer: lists devices, tells the defaults, opens output and input streams.
// Two implementations: PulseAudioHardware (the real one) and NullAudioHardware (fake devices and
// streams clocked by hand, for tests and offline work). The process-wide instance is shared by
// every player and tool; tests may replace it.

#include "platform/audio/AudioDeviceDescription.h"
#include "platform/audio/AudioInputStream.h"
#include "platform/audio/AudioOutputStream.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vtl {

class AudioHardware {
public:
    virtual ~AudioHardware() = default;

    // PulseAudioHardware unless VISTREL_AUDIO=null is set in the environment.
    static std::shared_ptr<AudioHardware> shared();
    // Replaces the process-wide instance; null restores the default on the next shared().
    static void setShared(std::shared_ptr<AudioHardware> hardware);

    // Every device, in the layer's stable order. Empty when the server cannot be reached.
    virtual std::vector<AudioDeviceDescription> devices() = 0;
    // 0 when there is none or the server cannot be reached.
    virtual std::uint32_t defaultOutputDeviceID() = 0;
    virtual std::uint32_t defaultInputDeviceID() = 0;

    // Records the rate chosen for a device. The server resamples, so nothing is forced on it.
    virtual Status setNominalSampleRate(std::uint32_t deviceID, std::uint32_t rate) = 0;

    // Playback at 44.1 kHz, two planar float channels; deviceID 0 is the default output.
    virtual Result<std::unique_ptr<AudioOutputStream>> openOutputStream(std::uint32_t deviceID,
                                                                        AudioRenderCallback callback) = 0;
    // Capture of `channelCount` channels at `sampleRate` from an input device.
    virtual Result<std::unique_ptr<AudioInputStream>> openInputStream(std::uint32_t deviceID,
                                                                      std::uint32_t channelCount,
                                                                      std::uint32_t sampleRate,
                                                                      AudioCaptureCallback callback) = 0;
    // Capture of what the machine plays (the default output's monitor, "System Audio (Vistrel)"),
    // following the default output. Here: the device of that name.
    virtual Result<std::unique_ptr<AudioInputStream>> openSystemAudioStream(std::uint32_t channelCount,
                                                                            std::uint32_t sampleRate,
                                                                            AudioCaptureCallback callback);

    // The name under which the system's sound is listed.
    static constexpr const char* systemAudioDeviceName = "System Audio (Vistrel)";

protected:
    AudioHardware() = default;
};

} // namespace vtl
