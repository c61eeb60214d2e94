#pragma once
// A full picture, stored as JPEG stripes of 256 rows. Also decides which updates need one.

#include "recorder/KeyFrameDecision.h"
#include "recorder/VTL3RecorderFrame.h"

#include <span>

namespace vtl {

class VTLRecorderKeyFrame final : public VTL3RecorderFrame {
public:
    using VTL3RecorderFrame::VTL3RecorderFrame;

    // Whether an update of the surface with these changed rectangles needs a key frame.
    static KeyFrameDecision surfaceRequiresKeyframe(std::uint64_t surfaceWidth, std::uint64_t surfaceHeight,
                                                    std::span<const Rect> dirtyRects,
                                                    std::int64_t frameNumber, std::uint64_t frameRate);

    bool processSurface(VTLMallocPool& pool) override;
    Result<EncodedFrame> encode(FrameEncoder& encoder) override;
    bool isMovieEncodableNonMetaFrame() const override { return true; }
    bool isKeyFrame() const override { return true; }

private:
    PoolBlock imageData_;
};

} // namespace vtl
