#pragma once
// Base of the recorder's frames: one captured screen update that copies what it needs out of the
// capture surface early and later, in frame order, encodes itself through the encode queue's
// encoder into a record and streams that the queue writes. Created by the screen grabber, owned
// by whoever holds it next (copy job, encode queue).

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/VTLMallocPool.h"
#include "recorder/EncodedFrame.h"
#include "recorder/FrameEncoder.h"
#include "recorder/RecorderSurface.h"
#include "recorder/RecordingModes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vtl {

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
    // Encodes the frame for the queue to write: on the queue's worker thread, thumbnails on the
    // grabber's thumbnail thread (they use only the encoder's pool and thumbnail factor).
    virtual Result<EncodedFrame> encode(FrameEncoder& encoder);
    virtual double costToEncodeFrame() const { return 1.0; }
    virtual bool isMovieEncodableNonMetaFrame() const { return false; }
    virtual bool isKeyFrame() const { return false; }

    void setRecordQuality(RecordQuality quality) { recordQuality_ = quality; }
    RecordQuality recordQuality() const { return recordQuality_; }
    std::int64_t frameIndex() const { return frameIndex_; }
    double time() const { return time_; }
    Rect recordedRect() const { return recordedRect_; }
    std::uint64_t surfaceWidth() const { return surfaceWidth_; }
    std::uint64_t surfaceHeight() const { return surfaceHeight_; }
    std::uint64_t bytesPerRow() const { return bytesPerRow_; }

    // Base quality of a record quality, 0 for a number that names none.
    static float baseQualityForRecordQuality(RecordQuality recordQuality);

protected:
    // Copies the whole surface packed (width x 4 bytes a row) into `block`.
    bool copyWholeSurface(VTLMallocPool& pool, PoolBlock& block);
    // The encoder's record, emptied and headed for this frame.
    FrameMetaRecord& beginRecord(FrameEncoder& encoder, FrameKind kind) const;
    // Encodes `count` pieces on the encoder's workers, piece(index, compressor) each; the first
    // failure when any piece failed.
    template <class Piece>
    static Status encodePieces(FrameEncoder& encoder, std::size_t count, Piece&& piece) {
        std::atomic<bool> failed{false};
        std::string firstError; // written by the first failing piece only, read after all ended
        encoder.runner().apply(count, [&](std::size_t index, unsigned worker) {
            Status encoded = piece(index, encoder.compressor(worker));
            if (!encoded && !failed.exchange(true)) firstError = encoded.error();
        });
        if (failed) return fail(firstError);
        return {};
    }
    void disposeSurface();

    std::shared_ptr<RecorderSurface> surface_;
    std::uint64_t surfaceWidth_ = 0;
    std::uint64_t surfaceHeight_ = 0;
    std::uint64_t bytesPerRow_ = 0;
    double time_ = 0;
    std::int64_t frameIndex_ = 0;
    Rect recordedRect_;
    RecordQuality recordQuality_ = RecordQuality::High;
    bool processed_ = false; // processSurface succeeded
};

} // namespace vtl
