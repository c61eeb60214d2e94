#include "recorder/VTLRecorderMoveChangeBlockFrame.h"

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/format/RecordingFormat.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

namespace vtl::recording {

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
    , m_changedRects(changedRects.begin(), changedRects.end())
    , m_movedRects(movedRects.begin(), movedRects.end())
    , m_movedRectDeltaX(movedRectDeltaX)
    , m_movedRectDeltaY(movedRectDeltaY) {
    // Share of the recorded area to encode, from the rectangles as reported.
    const Rect area(0, 0, recordedRect.width(), recordedRect.height());
    const double areaPixels = area.width() * area.height();
    if (areaPixels > 0) {
        double sum = 0;
        for (const Rect& rect : m_changedRects) {
            const double w = std::min(rect.maxX(), area.maxX()) - std::max(rect.minX(), area.minX());
            const double h = std::min(rect.maxY(), area.maxY()) - std::max(rect.minY(), area.minY());
            if (w > 0 && h > 0) sum += w * h;
        }
        m_cost = sum / areaPixels;
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
    m_bands.clear();
    m_bandOffsets.clear();
    if (!m_surface) return false;
    for (const PixelRect& rect : coalesceRects(m_changedRects, m_surfaceWidth, m_surfaceHeight,
                                               VTL3RecordEndcodeQueue::kMaximumChangedRects))
        splitIntoBands(rect, m_bands);
    std::uint64_t totalBytes = 0;
    for (const PixelRect& band : m_bands) {
        m_bandOffsets.push_back(static_cast<std::size_t>(totalBytes));
        totalBytes += band.area() * 4;
    }
    if (totalBytes > 0) {
        // All bands share one block.
        m_imageData = PoolBlock(pool, totalBytes);
        if (!m_imageData) {
            disposeSurface();
            return false;
        }
        const std::uint8_t* source = m_surface->lockForReading();
        if (!source) {
            m_imageData.reset();
            disposeSurface();
            return false;
        }
        for (std::size_t i = 0; i < m_bands.size(); ++i) {
            const PixelRect& band = m_bands[i];
            std::uint8_t* target = m_imageData.data() + m_bandOffsets[i];
            for (std::uint64_t row = 0; row < band.height; ++row)
                std::memcpy(target + row * band.width * 4,
                            source + (band.y + row) * m_bytesPerRow + band.x * 4, band.width * 4);
        }
        m_surface->unlock();
    }
    disposeSurface();
    m_processed = true;
    return true;
}

bool VTLRecorderMoveChangeBlockFrame::encode(VTL3RecordEndcodeQueue& queue, std::string& error) {
    if (!m_processed) {
        error = "The changes of frame " + std::to_string(m_frameIndex) + " could not be kept: out of memory.";
        return false;
    }
    const int quality = jpegRecordQualityToUse(queue);
    if (!queue.appendDirectoryEntry(m_frameIndex, m_time, false)) return false;

    std::span<JpegOutputBuffer> buffers = queue.streamBuffers(m_bands.size());
    std::atomic<bool> encoded{true};
    std::mutex errorMutex;
    queue.runner().apply(m_bands.size(), [&](std::size_t i, unsigned worker) {
        const PixelRect& band = m_bands[i];
        std::string bandError;
        if (!queue.compressor(worker).encode(
                m_imageData.data() + m_bandOffsets[i], static_cast<std::uint32_t>(band.width),
                static_cast<std::uint32_t>(band.height), band.width * 4, quality, buffers[i], &bandError)) {
            encoded = false;
            std::lock_guard lock(errorMutex);
            error = bandError;
        }
    });
    if (!encoded) return false;

    std::uint64_t changedPixels = 0;
    for (const PixelRect& band : m_bands)
        changedPixels += band.area();
    queue.qualityTracker().addNumberOfPixels(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(changedPixels, UINT32_MAX)),
        secondsToTicks(m_time));

    thread_local FrameMetaRecord record;
    record.kind = FrameKind::Block;
    record.frameIndex = static_cast<std::uint64_t>(m_frameIndex);
    record.time = secondsToTicks(m_time);
    record.framesSinceKeyFrame = queue.frameCounterSinceLastKeyFrame();
    record.dataSizeBytes = 0;
    record.movedRects.clear();
    record.changedRects.clear();
    const std::int64_t dx = truncatedOffset(m_movedRectDeltaX);
    const std::int64_t dy = truncatedOffset(m_movedRectDeltaY);
    constexpr std::uint64_t noLimit = std::numeric_limits<std::uint64_t>::max();
    for (const Rect& moved : m_movedRects)
        record.movedRects.push_back({clampedPixel(moved.minX(), noLimit), clampedPixel(moved.minY(), noLimit),
                                     clampedPixel(moved.width(), noLimit),
                                     clampedPixel(moved.height(), noLimit), dx, dy});
    for (std::size_t i = 0; i < m_bands.size(); ++i) {
        const PixelRect& band = m_bands[i];
        record.changedRects.push_back({band.x, band.y, band.width, band.height, buffers[i].sizeBytes(),
                                       static_cast<std::uint64_t>(quality & 255)});
        record.dataSizeBytes += buffers[i].sizeBytes();
        if (!queue.dataWriter().writeData(buffers[i].data(), buffers[i].sizeBytes())) return false;
    }
    if (!writeMetaRecord(queue, record)) return false;
    m_imageData.reset();
    return true;
}

} // namespace vtl::recording
