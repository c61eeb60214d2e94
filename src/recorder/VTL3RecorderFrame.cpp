#include "recorder/VTL3RecorderFrame.h"

#include "platform/foundation/Log.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/format/RecordingFormat.h"

#include <cstring>

namespace vtl {

VTL3RecorderFrame::VTL3RecorderFrame(double timeSeconds, std::int64_t frameIndex)
    : time_(timeSeconds)
    , frameIndex_(frameIndex) {}

VTL3RecorderFrame::VTL3RecorderFrame(std::shared_ptr<RecorderSurface> surface, Rect recordedRect,
                                     double timeSeconds, std::int64_t frameIndex)
    : surface_(std::move(surface))
    , time_(timeSeconds)
    , frameIndex_(frameIndex)
    , recordedRect_(recordedRect) {
    if (surface_) {
        surfaceWidth_ = surface_->width();
        surfaceHeight_ = surface_->height();
        bytesPerRow_ = surface_->bytesPerRow();
    }
}

VTL3RecorderFrame::~VTL3RecorderFrame() = default;

bool VTL3RecorderFrame::processSurface(VTLMallocPool&) {
    assertionFailure("VTL3RecorderFrame", __LINE__, "implement me in subclass!");
    return false;
}

bool VTL3RecorderFrame::encode(VTL3RecordEndcodeQueue&, std::string& error) {
    assertionFailure("VTL3RecorderFrame", __LINE__, "implement me in subclass!");
    error = "A frame of an unknown kind cannot be written.";
    return false;
}

void VTL3RecorderFrame::disposeSurface() {
    surface_.reset();
}

bool VTL3RecorderFrame::copyWholeSurface(VTLMallocPool& pool, PoolBlock& block) {
    if (!surface_) return false;
    const std::size_t packedRow = surfaceWidth_ * 4;
    block = PoolBlock(pool, packedRow * surfaceHeight_);
    if (!block) {
        disposeSurface();
        return false;
    }
    const std::uint8_t* source = surface_->lockForReading();
    if (!source) {
        disposeSurface();
        block.reset();
        return false;
    }
    if (bytesPerRow_ == packedRow) {
        std::memcpy(block.data(), source, packedRow * surfaceHeight_);
    } else {
        for (std::uint64_t y = 0; y < surfaceHeight_; ++y)
            std::memcpy(block.data() + y * packedRow, source + y * bytesPerRow_, packedRow);
    }
    surface_->unlock();
    disposeSurface();
    return true;
}

float VTL3RecorderFrame::baseQualityForRecordQuality(int recordQuality) {
    switch (recordQuality) {
    case 1:
        return 0.95f;
    case 2:
        return 0.75f;
    case 3:
        return 0.55f;
    default:
        return 0.0f;
    }
}

int VTL3RecorderFrame::jpegRecordQualityToUse(VTL3RecordEndcodeQueue& queue) {
    VTL3RecorderEncodeQueueQualityTracker& tracker = queue.qualityTracker();
    const std::uint64_t to = secondsToTicks(time_);
    const std::uint64_t from = secondsToTicks(time_ - 1.0);
    const float factor = tracker.qualityFactorForTime(from, to);
    // Key frames count their whole area once; changed-block frames count their changed pixels
    // after encoding. (Counting the whole area for every frame would pin the quality to the base.)
    if (isKeyFrame()) {
        const std::uint64_t area = surfaceWidth_ * surfaceHeight_;
        tracker.addNumberOfPixels(static_cast<std::uint32_t>(std::min<std::uint64_t>(area, UINT32_MAX)), to);
    }
    const float quality = ((1.0f - factor) * 0.2f + baseQualityForRecordQuality(recordQuality_)) * 100.0f;
    return static_cast<int>(quality);
}

bool VTL3RecorderFrame::writeMetaRecord(VTL3RecordEndcodeQueue& queue, const FrameMetaRecord& record) {
    std::vector<std::uint8_t>& bytes = queue.recordScratch();
    bytes.clear();
    appendFrameMetaRecord(record, bytes);
    return queue.metaDataWriter().writeData(bytes.data(), bytes.size());
}

} // namespace vtl
