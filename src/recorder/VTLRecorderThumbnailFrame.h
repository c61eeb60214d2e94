#pragma once
// A small raw picture of the screen for the recording's thumbnail strip. Written by the grabber's
// thumbnail thread, outside the frame order.

#include "recorder/VTL3RecorderFrame.h"

namespace vtl {

class VTLRecorderThumbnailFrame final : public VTL3RecorderFrame {
public:
    using VTL3RecorderFrame::VTL3RecorderFrame;

    bool processSurface(VTLMallocPool& pool) override;
    // Makes the thumbnail (the queue's encodeThumbnailFrame calls it); its pixels stay with the
    // frame until it is released.
    Result<EncodedFrame> encode(FrameEncoder& encoder) override;

    // Makes the thumbnail of a packed picture: every factor-th pixel of every factor-th row,
    // fourth byte 255. `out` holds (width / factor) x (height / factor) x 4 bytes.
    static void subsample(const std::uint8_t* packed, std::uint64_t width, std::uint64_t height,
                          std::uint64_t factor, std::uint8_t* out);

private:
    PoolBlock imageData_;
    PoolBlock thumbData_;
};

} // namespace vtl
