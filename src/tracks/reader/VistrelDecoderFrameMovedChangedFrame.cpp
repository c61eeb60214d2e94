#include "tracks/reader/VistrelDecoderFrameMovedChangedFrame.h"

#include "platform/foundation/DispatchApply.h"
#include "platform/foundation/Log.h"
#include "platform/jpeg/JpegDecompression.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

namespace vtl {

namespace {

// Above this many moves the ordering passes cost more than one copy through the spare buffer.
constexpr std::size_t kMaxOrderedMoves = 64;
constexpr std::size_t kMaxMoves = 4096;
constexpr std::uint64_t kMaxMovedFrameAreas = 16;

bool intersects(std::size_t ax, std::size_t ay, std::size_t aw, std::size_t ah, std::size_t bx,
                std::size_t by, std::size_t bw, std::size_t bh) {
    if (aw == 0 || ah == 0 || bw == 0 || bh == 0) return false;
    return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
}

void copyBlock(const std::uint8_t* from, std::size_t fromX, std::size_t fromY, std::uint8_t* to,
               std::size_t toX, std::size_t toY, std::size_t width, std::size_t height, std::size_t stride) {
    const std::size_t rowBytes = width * 4;
    // Rows are taken in the order that keeps an overlapping source intact in one buffer.
    if (fromY > toY || from != to) {
        for (std::size_t r = 0; r < height; ++r)
            std::memmove(to + (toY + r) * stride + toX * 4, from + (fromY + r) * stride + fromX * 4,
                         rowBytes);
    } else {
        for (std::size_t r = height; r-- > 0;)
            std::memmove(to + (toY + r) * stride + toX * 4, from + (fromY + r) * stride + fromX * 4,
                         rowBytes);
    }
}

// Whether any two of the rectangles share a pixel: a sweep down the rows keeping the rectangles
// crossing the current row by their left edge. Until a first overlap those are disjoint, so a new
// one can only overlap its neighbours in that order.
template <typename Rect> bool anyRectanglesOverlap(const std::vector<Rect>& rects) {
    struct Event {
        std::size_t y;
        bool opens;
        std::size_t index;
    };
    std::vector<Event> events;
    events.reserve(rects.size() * 2);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        events.push_back({rects[i].y, true, i});
        events.push_back({rects[i].y + rects[i].height, false, i});
    }
    // Rows are half open: a rectangle ending at a row is gone before one starting there comes.
    std::sort(events.begin(), events.end(),
              [](const Event& a, const Event& b) { return a.y != b.y ? a.y < b.y : (!a.opens && b.opens); });
    std::map<std::size_t, std::size_t> crossing; // left edge → right edge (exclusive)
    for (const Event& e : events) {
        const Rect& r = rects[e.index];
        if (!e.opens) {
            crossing.erase(r.x);
            continue;
        }
        const std::size_t right = r.x + r.width;
        auto next = crossing.lower_bound(r.x);
        if (next != crossing.end() && next->first < right) return true;
        if (next != crossing.begin() && std::prev(next)->second > r.x) return true;
        crossing.emplace(r.x, right);
    }
    return false;
}

} // namespace

std::vector<VistrelDecoderFrameMovedChangedFrame::Move>
VistrelDecoderFrameMovedChangedFrame::clipMoves(const std::vector<MovedRectRecord>& records,
                                                std::size_t width, std::size_t height, bool* clipped) {
    std::vector<Move> moves;
    if (clipped) *clipped = false;
    if (records.empty()) return moves;
    const std::int64_t dx =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(records.front().deltaX & 0xffff));
    const std::int64_t dy =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(records.front().deltaY & 0xffff));
    const std::int64_t frameW = static_cast<std::int64_t>(width);
    const std::int64_t frameH = static_cast<std::int64_t>(height);
    for (const MovedRectRecord& r : records) {
        // Clamp first so that the sums below cannot overflow.
        const std::int64_t x0 = static_cast<std::int64_t>(std::min<std::uint64_t>(r.x, width));
        const std::int64_t y0 = static_cast<std::int64_t>(std::min<std::uint64_t>(r.y, height));
        const std::int64_t x1 = static_cast<std::int64_t>(std::min<std::uint64_t>(r.x, width) +
                                                          std::min<std::uint64_t>(r.width, width));
        const std::int64_t y1 = static_cast<std::int64_t>(std::min<std::uint64_t>(r.y, height) +
                                                          std::min<std::uint64_t>(r.height, height));
        // Destination and source (destination + offset) must both lie inside the frame.
        const std::int64_t cx0 = std::max({x0, std::int64_t(0), -dx});
        const std::int64_t cy0 = std::max({y0, std::int64_t(0), -dy});
        const std::int64_t cx1 = std::min({x1, frameW, frameW - dx});
        const std::int64_t cy1 = std::min({y1, frameH, frameH - dy});
        const bool whole = cx0 == static_cast<std::int64_t>(r.x) && cy0 == static_cast<std::int64_t>(r.y) &&
                           r.width <= width && r.height <= height &&
                           cx1 - cx0 == static_cast<std::int64_t>(r.width) &&
                           cy1 - cy0 == static_cast<std::int64_t>(r.height);
        if (!whole && clipped) *clipped = true;
        if (cx1 <= cx0 || cy1 <= cy0) continue;
        moves.push_back({static_cast<std::size_t>(cx0), static_cast<std::size_t>(cy0),
                         static_cast<std::size_t>(cx1 - cx0), static_cast<std::size_t>(cy1 - cy0),
                         static_cast<std::size_t>(cx0 + dx), static_cast<std::size_t>(cy0 + dy)});
    }
    return moves;
}

void VistrelDecoderFrameMovedChangedFrame::applyMoves(std::vector<Move> pending, std::uint8_t* buffer,
                                                      std::size_t width, std::size_t height,
                                                      std::uint8_t* temporaryBuffer) {
    const std::size_t stride = width * 4;
    if (pending.size() <= kMaxOrderedMoves) {
        // A block may move once no other pending block still has to read from where it lands.
        bool movedOne = true;
        while (!pending.empty() && movedOne) {
            movedOne = false;
            for (std::size_t i = 0; i < pending.size();) {
                const Move& d = pending[i];
                bool blocked = false;
                for (std::size_t j = 0; j < pending.size() && !blocked; ++j) {
                    if (j == i) continue;
                    const Move& s = pending[j];
                    blocked =
                        intersects(s.sourceX, s.sourceY, s.width, s.height, d.x, d.y, d.width, d.height);
                }
                if (blocked) {
                    ++i;
                    continue;
                }
                copyBlock(buffer, d.sourceX, d.sourceY, buffer, d.x, d.y, d.width, d.height, stride);
                pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
                movedOne = true;
            }
        }
    }
    if (pending.empty()) return;
    // The rest block each other (or are too many to order): read every source before writing.
    std::unique_ptr<std::uint8_t[]> ownCopy;
    if (!temporaryBuffer) {
        ownCopy.reset(new std::uint8_t[stride * height]);
        temporaryBuffer = ownCopy.get();
    }
    for (const Move& m : pending)
        copyBlock(buffer, m.sourceX, m.sourceY, temporaryBuffer, m.sourceX, m.sourceY, m.width, m.height,
                  stride);
    for (const Move& m : pending)
        copyBlock(temporaryBuffer, m.sourceX, m.sourceY, buffer, m.x, m.y, m.width, m.height, stride);
}

bool VistrelDecoderFrameMovedChangedFrame::readDataFromDataFile(const PackageFile& dataFile,
                                                                const PackageFile& metaFile) {
    FrameMetaRecord record;
    if (!readMetaRecord(metaFile, FrameKind::Block, record)) return false;
    movedRectEntries_ = std::move(record.movedRects);

    std::uint64_t totalBytes = 0;
    const std::uint64_t dataSize = dataFile.sizeBytes();
    changedRectEntries_.reserve(record.changedRects.size());
    for (const ChangedRectRecord& r : record.changedRects) {
        if (r.jpegSizeBytes > dataSize || totalBytes > dataSize - r.jpegSizeBytes) {
            fail("the JPEG data of frame " + std::to_string(frameIndex_) + " runs past the end of vtldata");
            return false;
        }
        const std::uint64_t offset = totalBytes;
        totalBytes += r.jpegSizeBytes;
        // A rectangle outside the frame is skipped; its stream still takes its place in the data.
        if (r.width == 0 || r.height == 0 || r.x >= width_ || r.y >= height_ || r.width > width_ - r.x ||
            r.height > height_ - r.y) {
            fail("a changed rectangle of frame " + std::to_string(frameIndex_) + " lies outside the frame");
            continue;
        }
        changedRectEntries_.push_back({static_cast<std::size_t>(r.x), static_cast<std::size_t>(r.y),
                                       static_cast<std::size_t>(r.width), static_cast<std::size_t>(r.height),
                                       static_cast<std::size_t>(offset),
                                       static_cast<std::size_t>(r.jpegSizeBytes), r.jpegQuality,
                                       static_cast<std::size_t>(&r - record.changedRects.data())});
    }
    if (!dataFits(dataFile, totalBytes)) return false;
    if (totalBytes > 0) {
        inBuffer_ = PoolBlock(VTLMallocPool::sharedInstance(), static_cast<std::size_t>(totalBytes));
        if (!inBuffer_) {
            fail("no memory for the data of frame " + std::to_string(frameIndex_));
            return false;
        }
        const std::uint64_t dataOffset = entry_.dataOffsetBytes;
        if (dataFile.readAt(dataOffset, inBuffer_.data(), static_cast<std::size_t>(totalBytes)) !=
            totalBytes) {
            fail("the JPEG data of frame " + std::to_string(frameIndex_) + " could not be read");
            return false;
        }
    }
    frameIsValid_ = true;
    return true;
}

bool VistrelDecoderFrameMovedChangedFrame::decodeAndApplyFrameToBuffer(std::uint8_t* buffer) {
    if (!frameIsValid_ || !buffer) return false;
    bool complete = error_.empty();
    if (!movedRectEntries_.empty()) {
        bool clipped = false;
        std::vector<Move> moves = clipMoves(movedRectEntries_, width_, height_, &clipped);
        if (clipped) {
            fail("a moved block of frame " + std::to_string(frameIndex_) +
                 " reached outside the frame and was clipped");
            complete = false;
        }
        // The display server reports a handful of moved blocks; copying thousands of large ones
        // is a damaged or hostile record, refused rather than spent time on.
        std::uint64_t movedPixels = 0;
        for (const Move& m : moves)
            movedPixels += std::uint64_t(m.width) * m.height;
        if (moves.size() > kMaxMoves || movedPixels > kMaxMovedFrameAreas * std::uint64_t(width_) * height_) {
            fail("frame " + std::to_string(frameIndex_) + " moves more blocks than a screen can");
            complete = false;
        } else {
            applyMoves(std::move(moves), buffer, width_, height_, tempBuffer_);
        }
    }
    const std::size_t stride = width_ * 4;
    std::mutex errorMutex;
    auto decodeChanged = [&](std::size_t k) {
        const Changed& c = changedRectEntries_[k];
        if (!isPieceVisible(c.recordIndex)) return;
        JPEGDestination destination{buffer + c.y * stride + c.x * 4, stride - c.width * 4, c.width, c.height};
        Status decoded =
            decompressJPEGData(inBuffer_.data() + c.dataOffsetBytes, c.jpegSizeBytes, c.quality, destination);
        if (!decoded) {
            std::lock_guard lock(errorMutex);
            complete = false;
            fail("changed rectangle " + std::to_string(k) + " of frame " + std::to_string(frameIndex_) +
                 ": " + decoded.error());
        }
    };
    // Rectangles that share pixels (only a damaged record has them) are applied one after the
    // other in their order, never written by two threads at once.
    if (anyRectanglesOverlap(changedRectEntries_)) {
        for (std::size_t k = 0; k < changedRectEntries_.size(); ++k)
            decodeChanged(k);
    } else {
        dispatchApply(changedRectEntries_.size(), decodeChanged);
    }
    return complete;
}

} // namespace vtl
