#include "recorder/VTLRecorderStopFrame.h"

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/format/RecordingFormat.h"

namespace vtl::recording {

bool VTLRecorderStopFrame::encode(VTL3RecordEndcodeQueue& queue, std::string&) {
    if (!queue.appendDirectoryEntry(m_frameIndex, m_time, false)) return false;
    const FrameMetaRecord record =
        makeStopFrameRecord(static_cast<std::uint64_t>(m_frameIndex), secondsToTicks(m_time),
                            queue.frameCounterSinceLastKeyFrame());
    return writeMetaRecord(queue, record);
}

} // namespace vtl::recording
