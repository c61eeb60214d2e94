#pragma once
// What the device layer knows of one audio device: a PulseAudio sink (output) or source (input),
// as the audio tools and the record-device list ask for it. Plain value; the caller owns it.
// Optional fields are empty when the server could not tell.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vtl {

struct AudioInputStreamDescription {
    std::uint32_t streamID = 0;
    // First device channel of the stream, counted from 1.
    std::optional<std::uint32_t> startingChannel;
};

struct AudioDeviceDescription {
    // Never 0 (0 means "no device").
    std::uint32_t deviceID = 0;
    std::string name;
    // Stable across runs and reconnections: the server's name of the sink or source.
    std::string persistentUID;
    std::vector<AudioInputStreamDescription> inputStreams;
    std::uint32_t outputStreamCount = 0;
    std::uint32_t outputChannelCount = 0;
    // Input channels of the whole device.
    std::optional<std::uint32_t> inputChannelCount;
    // The device's preferred stereo pair (left, right), channels counted from 1.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> preferredStereoPair;
    // Entry k names input channel k + 1; may be shorter than the channel count or hold "".
    std::vector<std::string> inputChannelNames;
    // The machine's own speakers or sound chip.
    bool builtIn = false;
    // Nominal rates offered, ascending.
    std::vector<std::uint32_t> nominalSampleRates;
};

} // namespace vtl
