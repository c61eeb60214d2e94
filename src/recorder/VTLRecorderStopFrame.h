#pragma once
// The record after the last captured frame: it gives the recording its duration.

#include "recorder/VTL3RecorderFrame.h"

namespace vtl {

class VTLRecorderStopFrame final : public VTL3RecorderFrame {
public:
    VTLRecorderStopFrame(double timeSeconds, std::int64_t frameIndex)
        : VTL3RecorderFrame(timeSeconds, frameIndex) {}

    bool processSurface(VTLMallocPool&) override { return true; }
    Result<EncodedFrame> encode(FrameEncoder& encoder) override;
    double costToEncodeFrame() const override { return 0.0; }
};

} // namespace vtl
