#pragma once
// Playback and capture streams on a PulseAudio connection. Internal to platform/audio; callers
// get them as AudioOutputStream and AudioInputStream from PulseAudioHardware.

#include "platform/audio/AudioInputStream.h"
#include "platform/audio/AudioOutputStream.h"

#include <memory>
#include <string>

namespace vtl::detail {

class PulseConnection;

// An empty sink name plays on the default sink.
Result<std::unique_ptr<AudioOutputStream>> openPulseOutputStream(std::shared_ptr<PulseConnection> connection,
                                                                 const std::string& sinkName,
                                                                 AudioRenderCallback callback);
Result<std::unique_ptr<AudioInputStream>>
openPulseInputStream(std::shared_ptr<PulseConnection> connection, const std::string& sourceName,
                     std::uint32_t channelCount, std::uint32_t sampleRate, AudioCaptureCallback callback);

} // namespace vtl::detail
