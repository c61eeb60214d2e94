#include "recorder/VTLRecorderThumbnailFrame.h"

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/format/RecordingFormat.h"

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

bool VTLRecorderThumbnailFrame::encode(VTL3RecordEndcodeQueue& queue, std::string& error) {
    if (!processed_ || !imageData_) {
        error = "The picture of a thumbnail could not be kept: out of memory.";
        return false;
    }
    const std::uint64_t factor = queue.thumbnailDownscaleFactor();
    const std::uint64_t thumbBytes = (surfaceWidth_ / factor) * (surfaceHeight_ / factor) * 4;
    PoolBlock thumbData(queue.pool(), thumbBytes);
    if (!thumbData) {
        error = "A thumbnail could not be made: out of memory.";
        return false;
    }
    subsample(imageData_.data(), surfaceWidth_, surfaceHeight_, factor, thumbData.data());
    const auto record = serializeThumbnailRecord({time_, queue.thumbCounter()});
    if (!queue.thumbnailMetaWriter().writeData(record.data(), record.size())) return false;
    if (!queue.thumbnailDataWriter().writeData(thumbData.data(), thumbBytes)) return false;
    queue.setThumbCounter(queue.thumbCounter() + 1);
    imageData_.reset();
    return true;
}

} // namespace vtl
