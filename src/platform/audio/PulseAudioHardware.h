#pragma once
// The device layer on a PulseAudio server. Sinks are output devices and sources input devices
// with one input stream each; the default sink's monitor is the loop-back device that records
// what the machine plays ("System Audio (Vistrel)"), other monitors are left out. IDs come from
// the server's indexes (see PulseAudioDeviceIDs.h); persistent UIDs are the server's names.
// Connects on first use and again after the server went away; without a server every query is
// empty and every open fails, logged once, without waiting longer than a short timeout.

#include "platform/audio/AudioHardware.h"

#include <memory>

namespace vtl {

namespace detail {
class PulseConnection;
}

class PulseAudioHardware : public AudioHardware {
public:
    PulseAudioHardware();
    ~PulseAudioHardware() override;

    std::vector<AudioDeviceDescription> devices() override;
    std::uint32_t defaultOutputDeviceID() override;
    std::uint32_t defaultInputDeviceID() override;
    Status setNominalSampleRate(std::uint32_t deviceID, std::uint32_t rate) override;
    Result<std::unique_ptr<AudioOutputStream>> openOutputStream(std::uint32_t deviceID,
                                                                AudioRenderCallback callback) override;
    Result<std::unique_ptr<AudioInputStream>> openInputStream(std::uint32_t deviceID,
                                                              std::uint32_t channelCount,
                                                              std::uint32_t sampleRate,
                                                              AudioCaptureCallback callback) override;
    // Records the default sink's monitor by the server's alias, so a change of the default output
    // is followed and no device setting is touched.
    Result<std::unique_ptr<AudioInputStream>> openSystemAudioStream(std::uint32_t channelCount,
                                                                    std::uint32_t sampleRate,
                                                                    AudioCaptureCallback callback) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
