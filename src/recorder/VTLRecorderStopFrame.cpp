#include "recorder/VTLRecorderStopFrame.h"

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/format/RecordingFormat.h"

namespace vtl {

bool VTLRecorderStopFrame::encode(VTL3RecordEndcodeQueue& queue, std::string&) {
    if (!queue.appendDirectoryEntry(frameIndex_, time_, false)) return false;
    const FrameMetaRecord record =
        makeStopFrameRecord(static_cast<std::uint64_t>(frameIndex_), secondsToTicks(time_),
                            queue.frameCounterSinceLastKeyFrame());
    return writeMetaRecord(queue, record);
}

} // namespace vtl
