#include "tracks/reader/VistrelDecoderFrameKeyFrame.h"

#include "platform/foundation/DispatchApply.h"
#include "platform/jpeg/JpegDecompression.h"

#include <mutex>

namespace vtl {

bool VistrelDecoderFrameKeyFrame::readDataFromDataFile(const PackageFile& dataFile,
                                                       const PackageFile& metaFile) {
    FrameMetaRecord record;
    if (!readMetaRecord(metaFile, FrameKind::Key, record)) return false;
    quality_ = record.jpegQuality;

    // Stripes lie one below the other from the top; whatever does not fit the frame is refused.
    std::size_t row = 0;
    std::uint64_t totalBytes = 0;
    stripeEntries_.reserve(record.stripes.size());
    for (const StripeRecord& stripe : record.stripes) {
        if (stripe.heightRows == 0 || stripe.heightRows > height_ - row) {
            fail("a stripe of key frame " + std::to_string(frameIndex_) + " does not fit the frame");
            break;
        }
        if (stripe.jpegSizeBytes > dataFile.sizeBytes() - std::min(dataFile.sizeBytes(), totalBytes)) {
            fail("the JPEG data of frame " + std::to_string(frameIndex_) + " runs past the end of vtldata");
            break;
        }
        stripeEntries_.push_back({row, static_cast<std::size_t>(stripe.heightRows),
                                  static_cast<std::size_t>(totalBytes),
                                  static_cast<std::size_t>(stripe.jpegSizeBytes)});
        row += static_cast<std::size_t>(stripe.heightRows);
        totalBytes += stripe.jpegSizeBytes;
    }
    if (stripeEntries_.size() != record.stripes.size() || !dataFits(dataFile, totalBytes)) {
        stripeEntries_.clear();
        return false;
    }
    if (row != height_)
        fail("key frame " + std::to_string(frameIndex_) + " covers " + std::to_string(row) + " of " +
             std::to_string(height_) + " rows");

    inBuffer_ = PoolBlock(VTLMallocPool::sharedInstance(), static_cast<std::size_t>(totalBytes));
    if (!inBuffer_) {
        fail("no memory for the data of frame " + std::to_string(frameIndex_));
        return false;
    }
    const std::uint64_t dataOffset = entry_.dataOffsetBytes;
    if (totalBytes > 0 &&
        dataFile.readAt(dataOffset, inBuffer_.data(), static_cast<std::size_t>(totalBytes)) != totalBytes) {
        fail("the JPEG data of frame " + std::to_string(frameIndex_) + " could not be read");
        return false;
    }
    frameIsValid_ = true;
    return true;
}

bool VistrelDecoderFrameKeyFrame::decodeAndApplyFrameToBuffer(std::uint8_t* buffer) {
    if (!frameIsValid_ || !buffer) return false;
    const std::size_t stride = width_ * 4;
    std::mutex errorMutex;
    bool complete = error_.empty();
    dispatchApply(stripeEntries_.size(), [&](std::size_t k) {
        if (!isPieceVisible(k)) return;
        const Stripe& stripe = stripeEntries_[k];
        JPEGDestination destination{buffer + stripe.firstRow * stride, 0, width_, stripe.rows};
        Status decoded = decompressJPEGData(inBuffer_.data() + stripe.dataOffsetBytes, stripe.jpegSizeBytes,
                                            quality_, destination);
        if (!decoded) {
            std::lock_guard lock(errorMutex);
            complete = false;
            fail("stripe " + std::to_string(k) + " of frame " + std::to_string(frameIndex_) + ": " +
                 decoded.error());
        }
    });
    return complete;
}

} // namespace vtl
