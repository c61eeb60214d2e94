#include "recorder/AudioDeviceRecorder.h"

namespace vtl {

std::optional<AudioDeviceDescription> audioDeviceWithUID(std::string_view, std::uint32_t) {
    return std::nullopt;
}

std::unique_ptr<VTLAudioDeviceRecorder>
VTLAudioDeviceRecorder::create(const AudioDeviceDescription& device, RecorderDelegate&, std::string& error) {
    error = "Audio devices cannot be recorded yet (" + device.name + ").";
    return nullptr;
}

} // namespace vtl
