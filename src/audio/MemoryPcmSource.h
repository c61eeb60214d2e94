#pragma once
// A sound held in memory as planar 44.1 kHz channels: a decoded file that plays many times, a
// synthesized sound, or a test signal. Owned by whoever reads it; the samples are shared between
// copies made with clone().

#include "audio/PcmSource.h"

#include <memory>
#include <vector>

namespace vtl {

class MemoryPcmSource : public PcmSource {
public:
    // Every channel has the same length; at least one channel.
    explicit MemoryPcmSource(std::vector<std::vector<float>> channels);

    // Reads a whole source into memory.
    static Result<std::unique_ptr<MemoryPcmSource>> decode(PcmSource& source);

    // A reader of the same samples with a position of its own.
    std::unique_ptr<MemoryPcmSource> clone() const;

    std::uint32_t channelCount() const override;
    std::int64_t durationFrames() const override;
    Status seek(std::int64_t frame) override;
    Result<std::size_t> read(float* const* channels, std::size_t frames) override;

private:
    explicit MemoryPcmSource(std::shared_ptr<const std::vector<std::vector<float>>> channels);

    std::shared_ptr<const std::vector<std::vector<float>>> channels_;
    std::size_t position_ = 0;
};

} // namespace vtl
