#include "tracks/VistrelDecoderFrameKeyFrame.h"

#include "tracks/JPEGDecompression.h"
#include "tracks/VistrelRecording.h"

#include <mutex>

namespace vtl {

using namespace recording;

bool VistrelDecoderFrameKeyFrame::readDataFromDataFile(const PackageFile& dataFile,
                                                       const PackageFile& metaFile) {
    FrameMetaRecord record;
    if (!readMetaRecord(metaFile, FrameKind::Key, record)) return false;
    m_quality = record.jpegQuality;

    // Stripes lie one below the other from the top; whatever does not fit the frame is refused.
    std::size_t row = 0;
    std::uint64_t totalBytes = 0;
    m_stripeEntries.reserve(record.stripes.size());
    for (const StripeRecord& stripe : record.stripes) {
        if (stripe.heightRows == 0 || stripe.heightRows > m_height - row) {
            fail("a stripe of key frame " + std::to_string(m_frameIndex) + " does not fit the frame");
            break;
        }
        if (stripe.jpegSizeBytes > dataFile.sizeBytes() - std::min(dataFile.sizeBytes(), totalBytes)) {
            fail("the JPEG data of frame " + std::to_string(m_frameIndex) + " runs past the end of vtldata");
            break;
        }
        m_stripeEntries.push_back({row, static_cast<std::size_t>(stripe.heightRows),
                                   static_cast<std::size_t>(totalBytes),
                                   static_cast<std::size_t>(stripe.jpegSizeBytes)});
        row += static_cast<std::size_t>(stripe.heightRows);
        totalBytes += stripe.jpegSizeBytes;
    }
    if (m_stripeEntries.size() != record.stripes.size() || !dataFits(dataFile, totalBytes)) {
        m_stripeEntries.clear();
        return false;
    }
    if (row != m_height)
        fail("key frame " + std::to_string(m_frameIndex) + " covers " + std::to_string(row) + " of " +
             std::to_string(m_height) + " rows");

    m_inBuffer = PoolBlock(VTLMallocPool::sharedInstance(), static_cast<std::size_t>(totalBytes));
    if (!m_inBuffer) {
        fail("no memory for the data of frame " + std::to_string(m_frameIndex));
        return false;
    }
    const std::uint64_t dataOffset = m_recording.directoryEntryAtIndex(m_frameIndex)->dataOffsetBytes;
    if (totalBytes > 0 &&
        dataFile.readAt(dataOffset, m_inBuffer.data(), static_cast<std::size_t>(totalBytes)) != totalBytes) {
        fail("the JPEG data of frame " + std::to_string(m_frameIndex) + " could not be read");
        return false;
    }
    m_frameIsValid = true;
    return true;
}

bool VistrelDecoderFrameKeyFrame::decodeAndApplyFrameToBuffer(std::uint8_t* buffer,
                                                              const ConcurrentDispatchQueue& queue) {
    if (!m_frameIsValid || !buffer) return false;
    const std::size_t stride = m_width * 4;
    std::mutex errorMutex;
    bool complete = m_error.empty();
    queue.apply(m_stripeEntries.size(), [&](std::size_t k) {
        const Stripe& stripe = m_stripeEntries[k];
        JPEGDestination destination{buffer + stripe.firstRow * stride, 0, m_width, stripe.rows};
        std::string error;
        if (!decompressJPEGData(m_inBuffer.data() + stripe.dataOffsetBytes, stripe.jpegSizeBytes, m_quality,
                                destination, &error)) {
            std::lock_guard lock(errorMutex);
            complete = false;
            fail("stripe " + std::to_string(k) + " of frame " + std::to_string(m_frameIndex) + ": " + error);
        }
    });
    return complete;
}

} // namespace vtl
