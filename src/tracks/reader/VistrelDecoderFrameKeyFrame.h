#pragma once
// Decoder of a key frame: the whole picture as horizontal JPEG stripes, decoded in parallel
// straight into the frame buffer. Created by VistrelRecording for one frame.

#include "platform/foundation/VTLMallocPool.h"
#include "tracks/reader/VistrelDecoderFrame.h"

#include <vector>

namespace vtl {

class VistrelDecoderFrameKeyFrame final : public VistrelDecoderFrame {
public:
    using VistrelDecoderFrame::VistrelDecoderFrame;

    bool readDataFromDataFile(const PackageFile& dataFile, const PackageFile& metaFile) override;
    bool decodeAndApplyFrameToBuffer(std::uint8_t* buffer) override;

private:
    struct Stripe {
        std::size_t firstRow = 0;
        std::size_t rows = 0;
        std::size_t dataOffsetBytes = 0; // inside inBuffer
        std::size_t jpegSizeBytes = 0;
    };
    std::vector<Stripe> stripeEntries_;
    std::uint64_t quality_ = 0;
    PoolBlock inBuffer_; // the stripes' streams, back to back as in "vtldata"
};

} // namespace vtl
