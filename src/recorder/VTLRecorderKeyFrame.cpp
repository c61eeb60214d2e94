#include "recorder/VTLRecorderKeyFrame.h"

#include "recorder/format/RecordingFormat.h"

namespace vtl {

KeyFrameDecision VTLRecorderKeyFrame::surfaceRequiresKeyframe(std::uint64_t surfaceWidth,
                                                              std::uint64_t surfaceHeight,
                                                              std::span<const Rect> dirtyRects,
                                                              std::int64_t frameNumber,
                                                              std::uint64_t frameRate) {
    if (frameRate == 0 || frameNumber % static_cast<std::int64_t>(frameRate) == 0)
        return KeyFrameDecision::Scheduled;
    float changed = 0.0f;
    for (const Rect& rect : dirtyRects)
        changed += static_cast<float>(rect.width() * rect.height());
    const float limit = 0.7f * static_cast<float>(surfaceWidth) * static_cast<float>(surfaceHeight);
    return changed > limit ? KeyFrameDecision::MostlyChanged : KeyFrameDecision::NotNeeded;
}

bool VTLRecorderKeyFrame::processSurface(VTLMallocPool& pool) {
    processed_ = copyWholeSurface(pool, imageData_);
    return processed_;
}

Result<EncodedFrame> VTLRecorderKeyFrame::encode(FrameEncoder& encoder) {
    if (!processed_ || !imageData_)
        return fail("The picture of frame " + std::to_string(frameIndex_) +
                    " could not be kept: out of memory.");
    const int quality = encoder.jpegQuality(*this);
    const std::uint64_t width = surfaceWidth_;
    const std::uint64_t height = surfaceHeight_;
    const std::size_t stripes = static_cast<std::size_t>(stripeCount(height));
    std::span<JpegOutputBuffer> buffers = encoder.streamBuffers(stripes);
    Status encoded = encodePieces(encoder, stripes, [&](std::size_t i, JpegCompressor& compressor) {
        const std::uint8_t* pixels = imageData_.data() + i * kStripeHeightRows * width * 4;
        const auto rows = static_cast<std::uint32_t>(stripeHeightRows(height, i));
        return compressor.encode(pixels, static_cast<std::uint32_t>(width), rows, width * 4, quality,
                                 buffers[i]);
    });
    if (!encoded) return encoded.asFailure();

    FrameMetaRecord& record = beginRecord(encoder, FrameKind::Key);
    record.jpegQuality = static_cast<std::uint64_t>(quality & 255);
    for (std::size_t i = 0; i < stripes; ++i) {
        record.stripes.push_back({i, stripeHeightRows(height, i), buffers[i].sizeBytes()});
        record.dataSizeBytes += buffers[i].sizeBytes();
    }
    imageData_.reset();
    EncodedFrame frame;
    frame.record = &record;
    frame.streams = buffers;
    return frame;
}

} // namespace vtl
