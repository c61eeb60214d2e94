#pragma once
// A player's samples from a sound or movie file: its first sound track through the media layer's
// reader, at 44.1 kHz in planar float; mono stays mono (the player puts it on both channels),
// anything wider is mixed to stereo. openPcmFile's opener unless another one is installed. Owned
// by the player that reads it; one feeder thread at a time.

#include "audio/PcmSource.h"

#include <cstddef>
#include <memory>
#include <string>

namespace vtl {

class MediaAsset;
class PcmReader;

class MediaPcmSource final : public PcmSource {
public:
    static Result<std::unique_ptr<PcmSource>> open(const std::string& path);
    // Track `trackIndex` (of all the asset's tracks), which must be a sound track.
    static Result<std::unique_ptr<PcmSource>> open(std::shared_ptr<const MediaAsset> asset,
                                                   std::size_t trackIndex);
    ~MediaPcmSource() override;

    std::uint32_t channelCount() const override { return channelCount_; }
    std::int64_t durationFrames() const override;
    Status seek(std::int64_t frame) override;
    Result<std::size_t> read(float* const* channels, std::size_t frames) override;

private:
    MediaPcmSource(std::unique_ptr<PcmReader> reader, std::uint32_t channelCount);

    std::unique_ptr<PcmReader> reader_;
    std::uint32_t channelCount_;
};

} // namespace vtl
