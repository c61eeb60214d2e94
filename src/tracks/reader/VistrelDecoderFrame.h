#pragma once
// One frame record of a recording, read from the package files and applied on top of a
// frame buffer. Base of the key-frame and moved/changed-block decoders; created by a
// DecompressionInfo for one frame from its directory entry, read, applied once and released.

#include "recorder/format/RecordingFormat.h"
#include "tracks/reader/PackageStorage.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vtl {

class VistrelDecoderFrame {
public:
    // Frame `frameIndex` of a width × height recording, as its directory entry places it.
    VistrelDecoderFrame(const DirectoryEntry& entry, std::uint64_t frameIndex, std::size_t width,
                        std::size_t height);
    virtual ~VistrelDecoderFrame() = default;
    VistrelDecoderFrame(const VistrelDecoderFrame&) = delete;
    VistrelDecoderFrame& operator=(const VistrelDecoderFrame&) = delete;

    void setTemporaryBuffer(std::uint8_t* temporaryBuffer) { tempBuffer_ = temporaryBuffer; }
    // Which pieces (stripes or changed rectangles, in record order) to decode; the others are
    // hidden in the picture being rebuilt and are left alone. Empty: all of them.
    void setVisiblePieces(std::vector<bool> visible) { visiblePieces_ = std::move(visible); }

    // Reads the record; answers whether it was read whole and fits the frame (frameIsValid).
    virtual bool readDataFromDataFile(const PackageFile& dataFile, const PackageFile& metaFile);
    // Applies the record to a frame buffer of the recording's size; answers whether every part
    // decoded; the pieces of the frame are decoded in parallel. Does nothing unless the record was
    // read whole.
    virtual bool decodeAndApplyFrameToBuffer(std::uint8_t* buffer);

    // The whole size of a frame's meta record, judged from its fixed part (the head and the
    // kind's continuation, as read: fixedPart may be longer) and the bytes the file holds from
    // the record on. 0 when the fixed part is short, or when its counts do not fit those bytes
    // or exceed what any frame's record needs; *faultyTable then names the table ("stripeEntries",
    // "movedRectEntries", "changedRectEntries"), or "frameEntry" for a short fixed part.
    // Unknown kinds also give 0, with faultyTable left alone.
    static std::uint64_t metaRecordSizeBytes(std::span<const std::uint8_t> fixedPart,
                                             std::uint64_t availableBytes,
                                             const char** faultyTable = nullptr);
    // Refused beyond this, whatever the file claims to hold (a sparse file claims anything).
    static constexpr std::uint64_t kMaxMetaRecordBytes = std::uint64_t(64) << 20;

    bool frameIsValid() const { return frameIsValid_; }
    std::uint64_t frameIndex() const { return frameIndex_; }
    // The first problem met while reading or applying (empty when none).
    const std::string& error() const { return error_; }

protected:
    // Reads the whole meta record of this frame and its JPEG bytes' extent; false with error_ set
    // (tableName names the table a short read hit, as in "Movie file error stripeEntries").
    bool readMetaRecord(const PackageFile& metaFile, FrameKind expectedKind, FrameMetaRecord& record);
    // Checks that byteCount bytes of JPEG data start at this frame's data offset in dataFile.
    bool dataFits(const PackageFile& dataFile, std::uint64_t byteCount);
    void fail(const std::string& message);

    std::size_t width_ = 0;
    std::size_t height_ = 0;
    DirectoryEntry entry_;
    std::uint64_t frameIndex_ = 0;
    std::uint8_t* tempBuffer_ = nullptr;
    bool frameIsValid_ = false;
    std::string error_;
    std::vector<bool> visiblePieces_;

    bool isPieceVisible(std::size_t piece) const {
        return visiblePieces_.empty() || piece >= visiblePieces_.size() || visiblePieces_[piece];
    }
};

} // namespace vtl
