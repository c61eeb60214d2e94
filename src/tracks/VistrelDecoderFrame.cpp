#include "tracks/VistrelDecoderFrame.h"

#include "platform/foundation/Log.h"
#include "recorder/format/LittleEndian.h"
#include "tracks/VistrelRecording.h"

#include <vector>

namespace vtl {

using namespace recording;

VistrelDecoderFrame::VistrelDecoderFrame(const VistrelRecording& recording, std::uint64_t frameIndex)
    : m_width(static_cast<std::size_t>(recording.width()))
    , m_height(static_cast<std::size_t>(recording.height()))
    , m_recording(recording)
    , m_frameIndex(frameIndex) {}

bool VistrelDecoderFrame::readDataFromDataFile(const PackageFile&, const PackageFile&) {
    VTL_ASSERT(false, "implement in subclass!");
    return false;
}

bool VistrelDecoderFrame::decodeAndApplyFrameToBuffer(std::uint8_t*, const ConcurrentDispatchQueue&) {
    return false;
}

void VistrelDecoderFrame::fail(const std::string& message) {
    if (m_error.empty()) m_error = message;
}

bool VistrelDecoderFrame::readMetaRecord(const PackageFile& metaFile, FrameKind expectedKind,
                                         FrameMetaRecord& record) {
    const DirectoryEntry* entry = m_recording.directoryEntryAtIndex(m_frameIndex);
    if (!entry) {
        fail("frame " + std::to_string(m_frameIndex) + " is not in the directory");
        return false;
    }
    const bool key = expectedKind == FrameKind::Key;
    const std::uint64_t fileSize = metaFile.sizeBytes();
    const std::uint64_t offset = entry->metaOffsetBytes;
    const std::uint64_t available = offset < fileSize ? fileSize - offset : 0;
    const std::size_t fixedSize =
        kMetaRecordHeadSizeBytes + (key ? kKeyFrameContinuationSizeBytes : kBlockFrameContinuationSizeBytes);
    std::vector<std::uint8_t> bytes(fixedSize);
    if (available < fixedSize || metaFile.readAt(offset, bytes.data(), fixedSize) != fixedSize) {
        fail(key ? "Movie file error keyFrameEntry" : "Movie file error frameEntry");
        return false;
    }
    if (loadU64LE(bytes.data()) != static_cast<std::uint64_t>(expectedKind)) {
        fail("frame " + std::to_string(m_frameIndex) + " changed its kind while it was read");
        return false;
    }
    // Every count is checked against what the file holds before anything is sized by it.
    const std::uint64_t room = available - fixedSize;
    std::uint64_t tableBytes = 0;
    if (key) {
        const std::uint64_t stripes = loadU64LE(bytes.data() + kMetaRecordHeadSizeBytes);
        if (stripes > room / kStripeRecordSizeBytes) {
            fail("Movie file error stripeEntries");
            return false;
        }
        tableBytes = stripes * kStripeRecordSizeBytes;
    } else {
        const std::uint64_t moved = loadU64LE(bytes.data() + kMetaRecordHeadSizeBytes);
        const std::uint64_t changed = loadU64LE(bytes.data() + kMetaRecordHeadSizeBytes + 8);
        if (moved > room / kMovedRectRecordSizeBytes) {
            fail("Movie file error movedRectEntries");
            return false;
        }
        if (changed > (room - moved * kMovedRectRecordSizeBytes) / kChangedRectRecordSizeBytes) {
            fail("Movie file error changedRectEntries");
            return false;
        }
        tableBytes = moved * kMovedRectRecordSizeBytes + changed * kChangedRectRecordSizeBytes;
    }
    bytes.resize(fixedSize + static_cast<std::size_t>(tableBytes));
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

bool VistrelDecoderFrame::dataFits(const PackageFile& dataFile, std::uint64_t byteCount) {
    const DirectoryEntry* entry = m_recording.directoryEntryAtIndex(m_frameIndex);
    const std::uint64_t fileSize = dataFile.sizeBytes();
    if (!entry || entry->dataOffsetBytes > fileSize || byteCount > fileSize - entry->dataOffsetBytes) {
        fail("the JPEG data of frame " + std::to_string(m_frameIndex) + " runs past the end of vtldata");
        return false;
    }
    return true;
}

} // namespace vtl
