#include "recorder/VTLRecorderThumbnailFrame.h"

#include "recorder/format/RecordingFormat.h"

#include <algorithm>

namespace vtl {

bool VTLRecorderThumbnailFrame::processSurface(VTLMallocPool& pool) {
    processed_ = copyWholeSurface(pool, imageData_);
    return processed_;
}

void VTLRecorderThumbnailFrame::subsample(const std::uint8_t* packed, std::uint64_t width,
                                          std::uint64_t height, std::uint64_t factor, std::uint8_t* out) {
    if (factor == 0) factor = 1;
    const std::uint64_t thumbWidth = width / factor;
    const std::uint64_t thumbHeight = height / factor;
    for (std::uint64_t y = 0; y < thumbHeight; ++y) {
        const std::uint8_t* row = packed + y * factor * width * 4;
        for (std::uint64_t x = 0; x < thumbWidth; ++x) {
            const std::uint8_t* pixel = row + x * factor * 4;
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
            out[3] = 255;
            out += 4;
        }
    }
}

Result<EncodedFrame> VTLRecorderThumbnailFrame::encode(FrameEncoder& encoder) {
    if (!processed_ || !imageData_)
        return fail("The picture of a thumbnail could not be kept: out of memory.");
    const std::uint64_t factor = std::max<std::uint64_t>(encoder.thumbnailDownscaleFactor(), 1);
    const std::uint64_t thumbBytes = (surfaceWidth_ / factor) * (surfaceHeight_ / factor) * 4;
    thumbData_ = PoolBlock(encoder.pool(), thumbBytes);
    if (!thumbData_) return fail("A thumbnail could not be made: out of memory.");
    subsample(imageData_.data(), surfaceWidth_, surfaceHeight_, factor, thumbData_.data());
    imageData_.reset();
    EncodedFrame frame;
    frame.thumbnailTimeSeconds = time_;
    frame.thumbnailPixels =
        std::span<const std::uint8_t>(thumbData_.data(), static_cast<std::size_t>(thumbBytes));
    return frame;
}

} // namespace vtl
