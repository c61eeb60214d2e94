#pragma once
// Base of the recorder's frames: one captured screen update that copies what it needs out of the
// capture surface early and later, in frame order, encodes itself into the package files through
// the encode queue. Created by the screen grabber, owned by whoever holds it next (copy job,
// encode queue).

#include "platform/foundation/VTLMallocPool.h"
#include "platform/foundation/Geometry.h"
#include "recorder/RecorderSurface.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vtl {

class VTL3RecordEndcodeQueue;
struct FrameMetaRecord;

class VTL3RecorderFrame {
public:
    // A frame without a surface (the stop frame).
    VTL3RecorderFrame(double timeSeconds, std::int64_t frameIndex);
    // `recordedRect` is the physical recorded area in surface pixels.
    VTL3RecorderFrame(std::shared_ptr<RecorderSurface> surface, Rect recordedRect, double timeSeconds,
                      std::int64_t frameIndex);
    virtual ~VTL3RecorderFrame();
    VTL3RecorderFrame(const VTL3RecorderFrame&) = delete;
    VTL3RecorderFrame& operator=(const VTL3RecorderFrame&) = delete;

    // Copies the pixels the frame needs into pool blocks and lets go of the surface. False when
    // no block could be had; the frame then fails to encode.
    virtual bool processSurface(VTLMallocPool& pool);
    // Appends the frame to the package files (worker thread). False with `error` set on failure.
    virtual bool encode(VTL3RecordEndcodeQueue& queue, std::string& error);
    virtual double costToEncodeFrame() const { return 1.0; }
    virtual bool isMovieEncodableNonMetaFrame() const { return false; }
    virtual bool isKeyFrame() const { return false; }

    void setRecordQuality(int quality) { recordQuality_ = quality; }
    int recordQuality() const { return recordQuality_; }
    std::int64_t frameIndex() const { return frameIndex_; }
    double time() const { return time_; }
    Rect recordedRect() const { return recordedRect_; }
    std::uint64_t surfaceWidth() const { return surfaceWidth_; }
    std::uint64_t surfaceHeight() const { return surfaceHeight_; }
    std::uint64_t bytesPerRow() const { return bytesPerRow_; }

    // The JPEG quality percentage for this frame from the changes of the last second; records a
    // key frame's full area in the tracker (changed-block frames record their changed pixels).
    int jpegRecordQualityToUse(VTL3RecordEndcodeQueue& queue);
    // Base quality of a record-quality setting (1 best ... 3), 0 for others.
    static float baseQualityForRecordQuality(int recordQuality);

protected:
    // Copies the whole surface packed (width x 4 bytes a row) into `block`.
    bool copyWholeSurface(VTLMallocPool& pool, PoolBlock& block);
    // Appends the frame's record to "vtlmeta" through the queue's reusable scratch bytes.
    static bool writeMetaRecord(VTL3RecordEndcodeQueue& queue, const FrameMetaRecord& record);
    void disposeSurface();

    std::shared_ptr<RecorderSurface> surface_;
    std::uint64_t surfaceWidth_ = 0;
    std::uint64_t surfaceHeight_ = 0;
    std::uint64_t bytesPerRow_ = 0;
    double time_ = 0;
    std::int64_t frameIndex_ = 0;
    Rect recordedRect_;
    int recordQuality_ = 2;
    bool processed_ = false; // processSurface succeeded
};

} // namespace vtl
