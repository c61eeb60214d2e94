#include "recorder/VTLRecorderKeyFrame.h"

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/format/RecordingFormat.h"

#include <atomic>
#include <mutex>

namespace vtl {

int VTLRecorderKeyFrame::surfaceRequiresKeyframe(std::uint64_t surfaceWidth, std::uint64_t surfaceHeight,
                                                 std::span<const Rect> dirtyRects, std::int64_t frameNumber,
                                                 std::uint64_t frameRate) {
    if (frameRate == 0 || frameNumber % static_cast<std::int64_t>(frameRate) == 0) return 2;
    float changed = 0.0f;
    for (const Rect& rect : dirtyRects)
        changed += static_cast<float>(rect.width() * rect.height());
    const float limit = 0.7f * static_cast<float>(surfaceWidth) * static_cast<float>(surfaceHeight);
    return changed > limit ? 1 : 0;
}

bool VTLRecorderKeyFrame::processSurface(VTLMallocPool& pool) {
    processed_ = copyWholeSurface(pool, imageData_);
    return processed_;
}

bool VTLRecorderKeyFrame::encode(VTL3RecordEndcodeQueue& queue, std::string& error) {
    if (!processed_ || !imageData_) {
        error = "The picture of frame " + std::to_string(frameIndex_) + " could not be kept: out of memory.";
        return false;
    }
    const int quality = jpegRecordQualityToUse(queue);
    if (!queue.appendDirectoryEntry(frameIndex_, time_, true)) return false;

    const std::uint64_t width = surfaceWidth_;
    const std::uint64_t height = surfaceHeight_;
    const std::size_t stripes = static_cast<std::size_t>(stripeCount(height));
    std::span<JpegOutputBuffer> buffers = queue.streamBuffers(stripes);
    std::atomic<bool> encoded{true};
    std::mutex errorMutex;
    queue.runner().apply(stripes, [&](std::size_t i, unsigned worker) {
        const std::uint8_t* pixels = imageData_.data() + i * kStripeHeightRows * width * 4;
        const auto rows = static_cast<std::uint32_t>(stripeHeightRows(height, i));
        std::string stripeError;
        if (!queue.compressor(worker).encode(pixels, static_cast<std::uint32_t>(width), rows, width * 4,
                                             quality, buffers[i], &stripeError)) {
            encoded = false;
            std::lock_guard lock(errorMutex);
            error = stripeError;
        }
    });
    if (!encoded) return false;

    thread_local FrameMetaRecord record;
    record.kind = FrameKind::Key;
    record.frameIndex = static_cast<std::uint64_t>(frameIndex_);
    record.time = secondsToTicks(time_);
    record.jpegQuality = static_cast<std::uint64_t>(quality & 255);
    record.stripes.clear();
    record.dataSizeBytes = 0;
    for (std::size_t i = 0; i < stripes; ++i) {
        record.stripes.push_back({i, stripeHeightRows(height, i), buffers[i].sizeBytes()});
        record.dataSizeBytes += buffers[i].sizeBytes();
        if (!queue.dataWriter().writeData(buffers[i].data(), buffers[i].sizeBytes())) return false;
    }
    if (!writeMetaRecord(queue, record)) return false;
    imageData_.reset();
    return true;
}

} // namespace vtl
