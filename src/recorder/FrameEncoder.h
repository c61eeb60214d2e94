#pragma once
// What a frame may use while it encodes itself: the JPEG quality for it, a compressor of its own
// for each worker, the runner that spreads the pieces of one frame (stripes, changed rectangles)
// over those workers, reusable output buffers and a reusable record. The encode queue implements
// it and keeps the files, the counters and the commits to itself. Used on the queue's worker
// thread; thumbnails, encoded on the grabber's thumbnail thread, use only pool() and
// thumbnailDownscaleFactor(), which any thread may call.

#include "platform/foundation/DispatchWorkerGroup.h"
#include "platform/foundation/VTLMallocPool.h"
#include "platform/jpeg/JpegCompressor.h"
#include "recorder/format/RecordingFormat.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vtl {

class VTL3RecorderFrame;

class FrameEncoder {
public:
    // The JPEG quality percentage for the frame, from how much of the picture changed during the
    // second before it (a key frame's whole area counts as changed).
    virtual int jpegQuality(const VTL3RecorderFrame& frame) = 0;
    // The workers that encode the pieces of one frame; compressor(worker) is that worker's own.
    virtual DispatchWorkerGroup& runner() = 0;
    virtual JpegCompressor& compressor(unsigned worker) = 0;
    // `count` output buffers for one frame's streams (capacity kept between frames).
    virtual std::span<JpegOutputBuffer> streamBuffers(std::size_t count) = 0;
    // A record to fill for the frame (capacity kept between frames).
    virtual FrameMetaRecord& scratchRecord() = 0;
    virtual VTLMallocPool& pool() = 0;
    // Every how many pixels a thumbnail takes one, in both directions.
    virtual std::uint64_t thumbnailDownscaleFactor() const = 0;

protected:
    ~FrameEncoder() = default;
};

} // namespace vtl
