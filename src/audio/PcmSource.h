#pragma once
// Where a player's samples come from: a sound, decoded sample-exactly at 44.1 kHz into planar
// float channels. The media layer's reader stands behind it for files; MemoryPcmSource for sounds
// already in memory. Used by one feeder thread at a time; owned by the player that reads it.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>

namespace vtl {

class PcmSource {
public:
    virtual ~PcmSource() = default;

    // At least 1.
    virtual std::uint32_t channelCount() const = 0;
    // Length in frames at 44.1 kHz.
    virtual std::int64_t durationFrames() const = 0;
    // The next read starts at this frame exactly (clamped to the source).
    virtual Status seek(std::int64_t frame) = 0;
    // Reads up to `frames` frames into channelCount() planar buffers; 0 at the end.
    virtual Result<std::size_t> read(float* const* channels, std::size_t frames) = 0;

protected:
    PcmSource() = default;
};

} // namespace vtl
