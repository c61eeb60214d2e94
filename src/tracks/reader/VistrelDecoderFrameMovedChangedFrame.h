#pragma once
// Decoder of a moved/changed-block frame (and of the stop frame, which has no rectangles):
// moves blocks of the previous picture, then decodes the changed rectangles' JPEG streams in
// parallel on top. Created by VistrelRecording for one frame.

#include "platform/foundation/VTLMallocPool.h"
#include "tracks/reader/VistrelDecoderFrame.h"

#include <vector>

namespace vtl {

class VistrelDecoderFrameMovedChangedFrame final : public VistrelDecoderFrame {
public:
    using VistrelDecoderFrame::VistrelDecoderFrame;

    bool readDataFromDataFile(const PackageFile& dataFile, const PackageFile& metaFile) override;
    bool decodeAndApplyFrameToBuffer(std::uint8_t* buffer) override;

    // A block move clipped so that both its destination and its source lie in the frame.
    struct Move {
        std::size_t x = 0, y = 0, width = 0, height = 0; // destination
        std::size_t sourceX = 0, sourceY = 0;
    };
    // Clips the stored rectangles to a width × height frame with one offset for all of them
    // (the low 16 bits of the first record's deltas, as signed numbers); empty moves are dropped.
    static std::vector<Move> clipMoves(const std::vector<MovedRectRecord>& records, std::size_t width,
                                       std::size_t height, bool* clipped = nullptr);
    // Moves the blocks in place in an order that never overwrites a source still to be read;
    // when the moves block each other, finishes through a copy in temporaryBuffer (a frame-sized
    // buffer, or null to allocate one). Always ends.
    static void applyMoves(std::vector<Move> moves, std::uint8_t* buffer, std::size_t width,
                           std::size_t height, std::uint8_t* temporaryBuffer);

private:
    struct Changed {
        std::size_t x = 0, y = 0, width = 0, height = 0;
        std::size_t dataOffsetBytes = 0; // inside inBuffer_
        std::size_t jpegSizeBytes = 0;
        std::uint64_t quality = 0;
        std::size_t recordIndex = 0; // among the record's changed rectangles
    };
    std::vector<MovedRectRecord> movedRectEntries_;
    std::vector<Changed> changedRectEntries_;
    PoolBlock inBuffer_; // every changed rectangle's stream, back to back as in "vtldata"
};

} // namespace vtl
