#include "recorder/VTL3RecorderFrame.h"

#include "platform/foundation/Log.h"

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

Result<EncodedFrame> VTL3RecorderFrame::encode(FrameEncoder&) {
    assertionFailure("VTL3RecorderFrame", __LINE__, "implement me in subclass!");
    return fail("A frame of an unknown kind cannot be written.");
}

FrameMetaRecord& VTL3RecorderFrame::beginRecord(FrameEncoder& encoder, FrameKind kind) const {
    FrameMetaRecord& record = encoder.scratchRecord();
    record.kind = kind;
    record.frameIndex = static_cast<std::uint64_t>(frameIndex_);
    record.time = secondsToTicks(time_);
    record.dataSizeBytes = 0;
    record.jpegQuality = 0;
    record.stripes.clear();
    record.movedRects.clear();
    record.changedRects.clear();
    record.framesSinceKeyFrame = 0;
    return record;
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

float VTL3RecorderFrame::baseQualityForRecordQuality(RecordQuality recordQuality) {
    switch (recordQuality) {
    case RecordQuality::Highest:
        return 0.95f;
    case RecordQuality::High:
        return 0.75f;
    case RecordQuality::Medium:
        return 0.55f;
    }
    return 0.0f;
}

} // namespace vtl
