#include "recorder/AudioDeviceRecorder.h"

namespace vtl {

std::optional<AudioDeviceDescription> audioDeviceWithUID(std::string_view, std::uint32_t) {
    return std::nullopt;
}

Result<std::unique_ptr<VTLAudioDeviceRecorder>>
VTLAudioDeviceRecorder::create(const AudioDeviceDescription& device, RecorderDelegate&) {
    return fail("Audio devices cannot be recorded yet (" + device.name + ").");
}

} // namespace vtl
