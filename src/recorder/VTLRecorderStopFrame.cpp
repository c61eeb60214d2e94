#include "recorder/VTLRecorderStopFrame.h"

namespace vtl {

Result<EncodedFrame> VTLRecorderStopFrame::encode(FrameEncoder& encoder) {
    EncodedFrame frame;
    frame.record = &beginRecord(encoder, FrameKind::Block);
    return frame;
}

} // namespace vtl
