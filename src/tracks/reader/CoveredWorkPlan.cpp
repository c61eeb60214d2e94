#include "tracks/reader/CoveredWorkPlan.h"

#include "tracks/reader/VistrelDecoderFrameMovedChangedFrame.h"

#include <algorithm>

namespace vtl {

namespace {

constexpr std::size_t kTile = CoveredWorkPlan::kTilePixels;

// Pixel rectangle, half open.
struct Box {
    std::size_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// The tiles of a picture that some later picture still depends on.
class TileMask {
public:
    TileMask(std::size_t width, std::size_t height, std::uint8_t value)
        : width_(width)
        , height_(height)
        , columns_((width + kTile - 1) / kTile)
        , rows_((height + kTile - 1) / kTile)
        , tiles_(columns_ * rows_, value) {}

    // Whether any tile touching the box is set.
    bool intersects(const Box& b) const {
        if (b.empty()) return false;
        for (std::size_t ty = b.y0 / kTile; ty < (b.y1 + kTile - 1) / kTile && ty < rows_; ++ty)
            for (std::size_t tx = b.x0 / kTile; tx < (b.x1 + kTile - 1) / kTile && tx < columns_; ++tx)
                if (tiles_[ty * columns_ + tx]) return true;
        return false;
    }
    // Sets every tile touching the box.
    void mark(const Box& b) {
        if (b.empty()) return;
        for (std::size_t ty = b.y0 / kTile; ty < (b.y1 + kTile - 1) / kTile && ty < rows_; ++ty)
            for (std::size_t tx = b.x0 / kTile; tx < (b.x1 + kTile - 1) / kTile && tx < columns_; ++tx)
                tiles_[ty * columns_ + tx] = 1;
    }
    // Sets every tile lying wholly inside the box to `value` (edge tiles count by their part in
    // the picture).
    void setCovered(const Box& b, std::uint8_t value) {
        if (b.empty()) return;
        for (std::size_t ty = (b.y0 + kTile - 1) / kTile; ty < rows_; ++ty) {
            if (std::min(ty * kTile + kTile, height_) > b.y1) break;
            for (std::size_t tx = (b.x0 + kTile - 1) / kTile; tx < columns_; ++tx) {
                if (std::min(tx * kTile + kTile, width_) > b.x1) break;
                tiles_[ty * columns_ + tx] = value;
            }
        }
    }
    // Box of tile (tx, ty) inside the picture.
    Box tile(std::size_t tx, std::size_t ty) const {
        return {tx * kTile, ty * kTile, std::min(tx * kTile + kTile, width_),
                std::min(ty * kTile + kTile, height_)};
    }
    bool isSet(std::size_t tx, std::size_t ty) const { return tiles_[ty * columns_ + tx] != 0; }
    std::size_t columns() const { return columns_; }
    std::size_t rows() const { return rows_; }

private:
    std::size_t width_, height_, columns_, rows_;
    std::vector<std::uint8_t> tiles_;
};

Box boxOf(std::uint64_t x, std::uint64_t y, std::uint64_t w, std::uint64_t h, std::size_t width,
          std::size_t height) {
    const std::size_t x0 = static_cast<std::size_t>(std::min<std::uint64_t>(x, width));
    const std::size_t y0 = static_cast<std::size_t>(std::min<std::uint64_t>(y, height));
    return {x0, y0, x0 + static_cast<std::size_t>(std::min<std::uint64_t>(w, width - x0)),
            y0 + static_cast<std::size_t>(std::min<std::uint64_t>(h, height - y0))};
}

// The tile work a record would take is bounded like the decoder bounds its moves.
bool isBeyondBudget(const FrameMetaRecord& record, std::size_t width, std::size_t height) {
    constexpr std::size_t maximumRects = 4096;
    constexpr std::uint64_t maximumFrameAreas = 16;
    if (record.movedRects.size() + record.changedRects.size() > maximumRects) return true;
    std::uint64_t pixels = 0;
    for (const MovedRectRecord& m : record.movedRects)
        pixels += std::min<std::uint64_t>(m.width, width) * std::min<std::uint64_t>(m.height, height);
    for (const ChangedRectRecord& c : record.changedRects)
        pixels += std::min<std::uint64_t>(c.width, width) * std::min<std::uint64_t>(c.height, height);
    return pixels > maximumFrameAreas * std::uint64_t(width) * height;
}

} // namespace

CoveredWorkPlan CoveredWorkPlan::make(const std::vector<FrameMetaRecord>& records, std::size_t width,
                                      std::size_t height) {
    CoveredWorkPlan plan;
    plan.visible_.resize(records.size());
    TileMask needed(width, height, 1); // of the picture after the record being looked at
    for (std::size_t i = records.size(); i-- > 0;) {
        const FrameMetaRecord& record = records[i];
        std::vector<bool>& visible = plan.visible_[i];
        if (record.isKeyFrame()) {
            std::size_t row = 0;
            std::vector<Box> stripes;
            for (const StripeRecord& s : record.stripes) {
                const Box b = boxOf(0, row, width, s.heightRows, width, height);
                row = b.y1;
                stripes.push_back(b);
            }
            for (const Box& b : stripes)
                visible.push_back(needed.intersects(b));
            for (const Box& b : stripes)
                needed.setCovered(b, 0);
        } else if (isBeyondBudget(record, width, height)) {
            // More rectangles than any screen update has (a damaged record): all of it is decoded,
            // and everything before it is needed, without spending time on the tiles.
            needed = TileMask(width, height, 1);
        } else {
            std::vector<Box> changed;
            for (const ChangedRectRecord& c : record.changedRects)
                changed.push_back(boxOf(c.x, c.y, c.width, c.height, width, height));
            for (const Box& b : changed)
                visible.push_back(needed.intersects(b));
            // The picture before this record: what stays where it was, plus the sources of the
            // moved blocks that land on something still needed and are not overwritten after.
            TileMask before = needed;
            const auto moves =
                VistrelDecoderFrameMovedChangedFrame::clipMoves(record.movedRects, width, height);
            for (const auto& m : moves)
                before.setCovered({m.x, m.y, m.x + m.width, m.y + m.height}, 0);
            for (const Box& b : changed)
                before.setCovered(b, 0);
            if (!moves.empty()) {
                // Tiles wholly rewritten by a changed rectangle need no source.
                TileMask rewritten(width, height, 0);
                for (const Box& b : changed)
                    rewritten.setCovered(b, 1);
                for (const auto& m : moves) {
                    const Box destination{m.x, m.y, m.x + m.width, m.y + m.height};
                    for (std::size_t ty = destination.y0 / kTile; ty * kTile < destination.y1; ++ty)
                        for (std::size_t tx = destination.x0 / kTile; tx * kTile < destination.x1; ++tx) {
                            if (!needed.isSet(tx, ty) || rewritten.isSet(tx, ty)) continue;
                            const Box t = needed.tile(tx, ty);
                            const Box d{std::max(t.x0, destination.x0), std::max(t.y0, destination.y0),
                                        std::min(t.x1, destination.x1), std::min(t.y1, destination.y1)};
                            if (d.empty()) continue;
                            before.mark({d.x0 - m.x + m.sourceX, d.y0 - m.y + m.sourceY,
                                         d.x1 - m.x + m.sourceX, d.y1 - m.y + m.sourceY});
                        }
                }
            }
            needed = std::move(before);
        }
        const bool all = std::all_of(visible.begin(), visible.end(), [](bool v) { return v; });
        plan.skipped_ += static_cast<std::uint64_t>(std::count(visible.begin(), visible.end(), false));
        if (all) visible.clear();
    }
    return plan;
}

bool CoveredWorkPlan::isVisible(std::size_t record, std::size_t piece) const {
    if (record >= visible_.size()) return true;
    const std::vector<bool>& v = visible_[record];
    return v.empty() || piece >= v.size() || v[piece];
}

const std::vector<bool>& CoveredWorkPlan::visiblePieces(std::size_t record) const {
    static const std::vector<bool> all;
    return record < visible_.size() ? visible_[record] : all;
}

} // namespace vtl
