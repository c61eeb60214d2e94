#pragma once
// What one frame's encoding hands the encode queue to write: the record for "vtlmeta" with the
// JPEG streams for "vtldata", or a thumbnail's time and pixels. The spans point into buffers of the
// encoder and of the frame, valid until the frame is encoded again or released.

#include "platform/jpeg/JpegCompressor.h"
#include "recorder/format/RecordingFormat.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vtl {

struct EncodedFrame {
    // The frame's record; null for a thumbnail. Its framesSinceKeyFrame is the queue's to fill.
    FrameMetaRecord* record = nullptr;
    // The record's JPEG streams, in the order the record lists them.
    std::span<const JpegOutputBuffer> streams;
    // Pixels a moved/changed-block frame changed, for the quality of the frames after it.
    std::optional<std::uint64_t> changedPixels;

    // A thumbnail: when it was taken and its pixels (B, G, R, A).
    std::optional<double> thumbnailTimeSeconds;
    std::span<const std::uint8_t> thumbnailPixels;
};

} // namespace vtl
