#include "tracks/reader/VistrelDecoderFrame.h"

#include "platform/foundation/Log.h"
#include "recorder/format/LittleEndian.h"

#include <algorithm>
#include <vector>

namespace vtl {

VistrelDecoderFrame::VistrelDecoderFrame(const DirectoryEntry& entry, std::uint64_t frameIndex,
                                         std::size_t width, std::size_t height)
    : width_(width)
    , height_(height)
    , entry_(entry)
    , frameIndex_(frameIndex) {}

bool VistrelDecoderFrame::readDataFromDataFile(const PackageFile&, const PackageFile&) {
    VTL_ASSERT(false, "implement in subclass!");
    return false;
}

bool VistrelDecoderFrame::decodeAndApplyFrameToBuffer(std::uint8_t*) {
    return false;
}

void VistrelDecoderFrame::fail(const std::string& message) {
    if (error_.empty()) error_ = message;
}

bool VistrelDecoderFrame::readMetaRecord(const PackageFile& metaFile, FrameKind expectedKind,
                                         FrameMetaRecord& record) {
    const bool key = expectedKind == FrameKind::Key;
    const std::uint64_t fileSize = metaFile.sizeBytes();
    const std::uint64_t offset = entry_.metaOffsetBytes;
    const std::uint64_t available = offset < fileSize ? fileSize - offset : 0;
    const std::size_t fixedSize =
        kMetaRecordHeadSizeBytes + (key ? kKeyFrameContinuationSizeBytes : kBlockFrameContinuationSizeBytes);
    std::vector<std::uint8_t> bytes(fixedSize);
    if (available < fixedSize || metaFile.readAt(offset, bytes.data(), fixedSize) != fixedSize) {
        fail(key ? "Movie file error keyFrameEntry" : "Movie file error frameEntry");
        return false;
    }
    if (loadU64LE(bytes.data()) != static_cast<std::uint64_t>(expectedKind)) {
        fail("frame " + std::to_string(frameIndex_) + " changed its kind while it was read");
        return false;
    }
    // Every count is checked against what the file holds before anything is sized by it.
    const char* table = key ? "stripeEntries" : "frameEntry";
    const std::uint64_t recordBytes = metaRecordSizeBytes(bytes, available, &table);
    if (recordBytes == 0) {
        fail(std::string("Movie file error ") + table);
        return false;
    }
    const std::uint64_t tableBytes = recordBytes - fixedSize;
    // GCC 12 at -O3 sees an unbounded memset inside vector::resize here; the size is checked above.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
    bytes.resize(fixedSize + static_cast<std::size_t>(tableBytes));
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    if (tableBytes > 0 && metaFile.readAt(offset + fixedSize, bytes.data() + fixedSize,
                                          static_cast<std::size_t>(tableBytes)) != tableBytes) {
        fail(key ? "Movie file error stripeEntries" : "Movie file error changedRectEntries");
        return false;
    }
    auto parsed = parseFrameMetaRecord(bytes, record);
    if (!parsed) {
        fail(parsed.error());
        return false;
    }
    return true;
}

std::uint64_t VistrelDecoderFrame::metaRecordSizeBytes(std::span<const std::uint8_t> fixedPart,
                                                       std::uint64_t availableBytes,
                                                       const char** faultyTable) {
    auto refuse = [faultyTable](const char* table) -> std::uint64_t {
        if (faultyTable) *faultyTable = table;
        return 0;
    };
    if (fixedPart.size() < kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes)
        return refuse("frameEntry");
    const std::uint64_t kind = loadU64LE(fixedPart.data());
    const std::uint64_t limit = std::min(availableBytes, kMaxMetaRecordBytes);
    const std::uint8_t* counts = fixedPart.data() + kMetaRecordHeadSizeBytes;
    if (kind == static_cast<std::uint64_t>(FrameKind::Key)) {
        const std::uint64_t fixedSize = kMetaRecordHeadSizeBytes + kKeyFrameContinuationSizeBytes;
        if (limit < fixedSize) return refuse("frameEntry");
        const std::uint64_t stripes = loadU64LE(counts);
        if (stripes > (limit - fixedSize) / kStripeRecordSizeBytes) return refuse("stripeEntries");
        return fixedSize + stripes * kStripeRecordSizeBytes;
    }
    if (kind != static_cast<std::uint64_t>(FrameKind::Block)) return 0;
    const std::uint64_t fixedSize = kMetaRecordHeadSizeBytes + kBlockFrameContinuationSizeBytes;
    if (fixedPart.size() < fixedSize || limit < fixedSize) return refuse("frameEntry");
    const std::uint64_t moved = loadU64LE(counts);
    const std::uint64_t changed = loadU64LE(counts + 8);
    const std::uint64_t room = limit - fixedSize;
    if (moved > room / kMovedRectRecordSizeBytes) return refuse("movedRectEntries");
    if (changed > (room - moved * kMovedRectRecordSizeBytes) / kChangedRectRecordSizeBytes)
        return refuse("changedRectEntries");
    return fixedSize + moved * kMovedRectRecordSizeBytes + changed * kChangedRectRecordSizeBytes;
}

bool VistrelDecoderFrame::dataFits(const PackageFile& dataFile, std::uint64_t byteCount) {
    const std::uint64_t fileSize = dataFile.sizeBytes();
    // Compressed streams of one frame never come near several raw frames; more is a damaged
    // size over a file that claims to hold it (a sparse file), refused before memory is sized by it.
    const std::uint64_t frameBytes = std::uint64_t(width_) * height_ * kBytesPerPixel;
    if (byteCount > 4 * frameBytes + (std::uint64_t(1) << 20)) {
        fail("the JPEG data of frame " + std::to_string(frameIndex_) + " is larger than any frame's");
        return false;
    }
    if (entry_.dataOffsetBytes > fileSize || byteCount > fileSize - entry_.dataOffsetBytes) {
        fail("the JPEG data of frame " + std::to_string(frameIndex_) + " runs past the end of vtldata");
        return false;
    }
    return true;
}

} // namespace vtl
