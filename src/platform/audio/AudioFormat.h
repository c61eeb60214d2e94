#pragma once
// The one sample format of every playback path: 44.1 kHz, 32-bit float, two planar channels, and
// the largest block a render callback is asked for.

#include <cstddef>
#include <cstdint>

namespace vtl {

constexpr std::uint32_t playbackSampleRate = 44100;
constexpr std::uint32_t playbackChannelCount = 2;
constexpr std::size_t maximumFramesPerRender = 512;

} // namespace vtl
