#include "recorder/VTLRecorderMoveChangeBlockFrame.h"

#include "recorder/format/RecordingFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vtl {

namespace {

using PixelRect = VTLRecorderMoveChangeBlockFrame::PixelRect;

// Truncates toward zero and clamps into [0, limit]; NaN gives 0.
std::uint64_t clampedPixel(double value, std::uint64_t limit) {
    if (!(value > 0.0)) return 0;
    if (value >= static_cast<double>(limit)) return limit;
    return static_cast<std::uint64_t>(value);
}

std::int64_t truncatedOffset(double value) {
    if (std::isnan(value)) return 0;
    constexpr double limit = 9.2e18;
    return static_cast<std::int64_t>(std::clamp(value, -limit, limit));
}

PixelRect unite(const PixelRect& a, const PixelRect& b) {
    const std::uint64_t x0 = std::min(a.x, b.x);
    const std::uint64_t y0 = std::min(a.y, b.y);
    const std::uint64_t x1 = std::max(a.x + a.width, b.x + b.width);
    const std::uint64_t y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace

VTLRecorderMoveChangeBlockFrame::VTLRecorderMoveChangeBlockFrame(
    std::shared_ptr<RecorderSurface> surface, Rect recordedRect, double timeSeconds, std::int64_t frameIndex,
    std::span<const Rect> movedRects, double movedRectDeltaX, double movedRectDeltaY,
    std::span<const Rect> changedRects)
    : VTL3RecorderFrame(std::move(surface), recordedRect, timeSeconds, frameIndex)
    , changedRects_(changedRects.begin(), changedRects.end())
    , movedRects_(movedRects.begin(), movedRects.end())
    , movedRectDeltaX_(movedRectDeltaX)
    , movedRectDeltaY_(movedRectDeltaY) {
    // Share of the recorded area to encode, from the rectangles as reported.
    const Rect area(0, 0, recordedRect.width(), recordedRect.height());
    const double areaPixels = area.width() * area.height();
    if (areaPixels > 0) {
        double sum = 0;
        for (const Rect& rect : changedRects_) {
            const double w = std::min(rect.maxX(), area.maxX()) - std::max(rect.minX(), area.minX());
            const double h = std::min(rect.maxY(), area.maxY()) - std::max(rect.minY(), area.minY());
            if (w > 0 && h > 0) sum += w * h;
        }
        cost_ = sum / areaPixels;
    }
}

std::vector<PixelRect> VTLRecorderMoveChangeBlockFrame::coalesceRects(std::span<const Rect> rects,
                                                                      std::uint64_t surfaceWidth,
                                                                      std::uint64_t surfaceHeight,
                                                                      std::size_t maximumCount) {
    std::vector<PixelRect> result;
    result.reserve(rects.size());
    for (const Rect& rect : rects) {
        // Row and column of the first pixel truncated, like the size.
        const std::uint64_t x0 = clampedPixel(rect.minX(), surfaceWidth);
        const std::uint64_t y0 = clampedPixel(rect.minY(), surfaceHeight);
        const double truncatedWidth = std::trunc(rect.width());
        const double truncatedHeight = std::trunc(rect.height());
        const std::uint64_t x1 = clampedPixel(std::trunc(rect.minX()) + truncatedWidth, surfaceWidth);
        const std::uint64_t y1 = clampedPixel(std::trunc(rect.minY()) + truncatedHeight, surfaceHeight);
        if (x1 > x0 && y1 > y0) result.push_back({x0, y0, x1 - x0, y1 - y0});
    }
    maximumCount = std::max<std::size_t>(maximumCount, 1);
    if (result.size() <= maximumCount) return result;

    // Very many rectangles: first merge runs of neighbours in reading order.
    if (result.size() > 4 * maximumCount) {
        std::sort(result.begin(), result.end(),
                  [](const PixelRect& a, const PixelRect& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
        const std::size_t group = (result.size() + 2 * maximumCount - 1) / (2 * maximumCount);
        std::vector<PixelRect> grouped;
        for (std::size_t i = 0; i < result.size(); i += group) {
            PixelRect merged = result[i];
            for (std::size_t j = i + 1; j < std::min(result.size(), i + group); ++j)
                merged = unite(merged, result[j]);
            grouped.push_back(merged);
        }
        result = std::move(grouped);
    }
    // Then merge the pair that adds the fewest unchanged pixels, until few enough remain.
    while (result.size() > maximumCount) {
        std::size_t bestA = 0, bestB = 1;
        std::uint64_t bestWaste = std::numeric_limits<std::uint64_t>::max();
        for (std::size_t a = 0; a < result.size(); ++a) {
            for (std::size_t b = a + 1; b < result.size(); ++b) {
                const std::uint64_t united = unite(result[a], result[b]).area();
                const std::uint64_t parts = result[a].area() + result[b].area();
                const std::uint64_t waste = united > parts ? united - parts : 0;
                if (waste < bestWaste) {
                    bestWaste = waste;
                    bestA = a;
                    bestB = b;
                }
            }
        }
        result[bestA] = unite(result[bestA], result[bestB]);
        result.erase(result.begin() + static_cast<std::ptrdiff_t>(bestB));
    }
    return result;
}

void VTLRecorderMoveChangeBlockFrame::splitIntoBands(const PixelRect& rect, std::vector<PixelRect>& out) {
    const std::uint64_t area = rect.area();
    if (area < kBandSplitThresholdPixels) {
        out.push_back(rect);
        return;
    }
    std::uint64_t bands = (area + kBandSplitThresholdPixels - 1) / kBandSplitThresholdPixels;
    bands = std::min(bands, rect.height); // never a band without rows
    const std::uint64_t rows = rect.height / bands;
    for (std::uint64_t i = 0; i < bands; ++i) {
        const std::uint64_t y = rect.y + i * rows;
        const std::uint64_t h = (i + 1 == bands) ? rect.y + rect.height - y : rows;
        out.push_back({rect.x, y, rect.width, h});
    }
}

bool VTLRecorderMoveChangeBlockFrame::processSurface(VTLMallocPool& pool) {
    bands_.clear();
    bandOffsets_.clear();
    if (!surface_) return false;
    for (const PixelRect& rect :
         coalesceRects(changedRects_, surfaceWidth_, surfaceHeight_, kMaximumChangedRects))
        splitIntoBands(rect, bands_);
    std::uint64_t totalBytes = 0;
    for (const PixelRect& band : bands_) {
        bandOffsets_.push_back(static_cast<std::size_t>(totalBytes));
        totalBytes += band.area() * 4;
    }
    if (totalBytes > 0) {
        // All bands share one block.
        imageData_ = PoolBlock(pool, totalBytes);
        if (!imageData_) {
            disposeSurface();
            return false;
        }
        const std::uint8_t* source = surface_->lockForReading();
        if (!source) {
            imageData_.reset();
            disposeSurface();
            return false;
        }
        for (std::size_t i = 0; i < bands_.size(); ++i) {
            const PixelRect& band = bands_[i];
            std::uint8_t* target = imageData_.data() + bandOffsets_[i];
            for (std::uint64_t row = 0; row < band.height; ++row)
                std::memcpy(target + row * band.width * 4,
                            source + (band.y + row) * bytesPerRow_ + band.x * 4, band.width * 4);
        }
        surface_->unlock();
    }
    disposeSurface();
    processed_ = true;
    return true;
}

Result<EncodedFrame> VTLRecorderMoveChangeBlockFrame::encode(FrameEncoder& encoder) {
    if (!processed_)
        return fail("The changes of frame " + std::to_string(frameIndex_) +
                    " could not be kept: out of memory.");
    const int quality = encoder.jpegQuality(*this);
    std::span<JpegOutputBuffer> buffers = encoder.streamBuffers(bands_.size());
    Status encoded = encodePieces(encoder, bands_.size(), [&](std::size_t i, JpegCompressor& compressor) {
        const PixelRect& band = bands_[i];
        return compressor.encode(imageData_.data() + bandOffsets_[i], static_cast<std::uint32_t>(band.width),
                                 static_cast<std::uint32_t>(band.height), band.width * 4, quality,
                                 buffers[i]);
    });
    if (!encoded) return encoded.asFailure();

    std::uint64_t changedPixels = 0;
    for (const PixelRect& band : bands_)
        changedPixels += band.area();

    FrameMetaRecord& record = beginRecord(encoder, FrameKind::Block);
    const std::int64_t dx = truncatedOffset(movedRectDeltaX_);
    const std::int64_t dy = truncatedOffset(movedRectDeltaY_);
    constexpr std::uint64_t noLimit = std::numeric_limits<std::uint64_t>::max();
    for (const Rect& moved : movedRects_)
        record.movedRects.push_back({clampedPixel(moved.minX(), noLimit), clampedPixel(moved.minY(), noLimit),
                                     clampedPixel(moved.width(), noLimit),
                                     clampedPixel(moved.height(), noLimit), dx, dy});
    for (std::size_t i = 0; i < bands_.size(); ++i) {
        const PixelRect& band = bands_[i];
        record.changedRects.push_back({band.x, band.y, band.width, band.height, buffers[i].sizeBytes(),
                                       static_cast<std::uint64_t>(quality & 255)});
        record.dataSizeBytes += buffers[i].sizeBytes();
    }
    imageData_.reset();
    EncodedFrame frame;
    frame.record = &record;
    frame.streams = buffers;
    frame.changedPixels = changedPixels;
    return frame;
}

} // namespace vtl
