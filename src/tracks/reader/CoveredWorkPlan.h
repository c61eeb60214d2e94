#pragma once
// Which pieces of a run of frame records (the stripes of a key frame, the changed rectangles of a
// moved/changed-block frame) are still visible after the last record of the run, so that a random
// access decodes only those: the records are walked once from the last back to the first, keeping
// the part of each picture that the target picture still depends on. A moved block keeps its
// source needed. The part is kept on a grid of small tiles and only ever grows, so nothing visible
// is skipped. Made by a DecompressionInfo for one request; a plain value.

#include "recorder/format/RecordingFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl {

class CoveredWorkPlan {
public:
    static constexpr std::size_t kTilePixels = 8;

    // records: the frames applied in order on top of a picture of width × height; every piece of
    // the last record is visible.
    static CoveredWorkPlan make(const std::vector<FrameMetaRecord>& records, std::size_t width,
                                std::size_t height);

    // Whether piece k of record i (stripe or changed rectangle, in record order) must be decoded.
    bool isVisible(std::size_t record, std::size_t piece) const;
    // Per record, per piece; empty for a record whose pieces are all decoded.
    const std::vector<bool>& visiblePieces(std::size_t record) const;
    std::uint64_t skippedPieces() const { return skipped_; }

private:
    std::vector<std::vector<bool>> visible_;
    std::uint64_t skipped_ = 0;
};

} // namespace vtl
