#pragma once
// Audio devices as the recording coordinator looks them up, and the recorder of one audio
// device's input (`VTLAudioDeviceRecorder`) that adds a track to the recording's additional
// movie. No device backend exists yet: no device is found and no such recorder is made, and
// settings that ask for one are logged and left out of the recording.

#include "platform/foundation/Result.h"
#include "recorder/RecorderDelegate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vtl {

// The loop-back device whose choice means "record the system's sound".
inline constexpr std::string_view kSystemAudioDeviceName = "System Audio (Vistrel)";

struct AudioDeviceDescription {
    std::string persistentUID;
    std::uint32_t audioStreamID = 0;
    std::string name;
    int numberOfInputChannels = 0; // 0: not recordable
};

// The device with that persistent id and stream, or nullopt when it is not present.
std::optional<AudioDeviceDescription> audioDeviceWithUID(std::string_view persistentUID,
                                                         std::uint32_t audioStreamID);

class VTLAudioDeviceRecorder : public Recorder {
public:
    // A recorder for the device; fails when it cannot be recorded.
    static Result<std::unique_ptr<VTLAudioDeviceRecorder>> create(const AudioDeviceDescription& device,
                                                                  RecorderDelegate& coordinator);
};

} // namespace vtl
