#include "tracks/AudioWaveform.h"

#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/GraphicsContext.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace vtl::waveform {

void PeakAccumulator::add(std::span<const float> samples) {
    std::size_t i = 0;
    while (i < samples.size()) {
        const std::size_t take = std::min(samples.size() - i, framesPerPeak - inBlock_);
        for (std::size_t end = i + take; i < end; ++i) {
            const float value = samples[i];
            const float size = std::fabs(value);
            // NaN compares false and so never wins.
            if (size > magnitude_) {
                magnitude_ = size;
                peak_ = value;
            }
        }
        inBlock_ += take;
        frames_ += take;
        if (inBlock_ == framesPerPeak) {
            peaks_.push_back(peak_);
            inBlock_ = 0;
            peak_ = magnitude_ = 0;
        }
    }
}

std::vector<float> PeakAccumulator::finish() {
    if (inBlock_ > 0) {
        peaks_.push_back(peak_);
        inBlock_ = 0;
        peak_ = magnitude_ = 0;
    }
    return std::move(peaks_);
}

std::vector<float> peaksOfSamples(std::span<const float> samples) {
    PeakAccumulator accumulator;
    accumulator.reserve(samples.size());
    accumulator.add(samples);
    return accumulator.finish();
}

Scaled rescale(std::span<const float> originalExtents, float scale) {
    Scaled scaled;
    scaled.extents.assign(originalExtents.size(), 0.0f);
    if (originalExtents.empty()) return scaled;
    float largest = 0, smallest = 0;
    bool first = true;
    for (float value : originalExtents) {
        if (!std::isfinite(value)) continue;
        if (first || value > largest) largest = value;
        if (first || value < smallest) smallest = value;
        first = false;
    }
    const float maximum = largest * scale;
    const float minimum = smallest * scale;
    const float extreme = std::max(maximum, std::fabs(minimum));
    if (!std::isfinite(extreme) || !(extreme > 0)) return scaled;
    scaled.maxExtent = extreme;
    scaled.minExtent = -extreme;
    const float factor = 0.75f / extreme;
    if (!std::isfinite(factor)) return scaled;
    for (std::size_t i = 0; i < originalExtents.size(); ++i) {
        const float height = std::fabs(originalExtents[i]) * factor;
        scaled.extents[i] = std::isfinite(height) ? height : 0.0f;
    }
    return scaled;
}

namespace {

bool isNormalNumber(double value) {
    return std::isnormal(value);
}

} // namespace

std::optional<Band> band(std::span<const float> extents, Size size, double fromSecond, double durationSeconds,
                         double pixelsPerSecond, Point origin) {
    if (extents.size() < 2) return std::nullopt;
    if (!std::isfinite(pixelsPerSecond) || pixelsPerSecond <= 0) return std::nullopt;
    if (!std::isfinite(fromSecond) || !std::isfinite(durationSeconds) || !std::isfinite(size.width) ||
        !std::isfinite(size.height))
        return std::nullopt;
    const std::size_t lastIndex = extents.size() - 1;
    const double firstPosition = std::max(0.0, fromSecond * static_cast<double>(peaksPerSecond));
    if (firstPosition > static_cast<double>(lastIndex)) return std::nullopt;
    std::size_t first = static_cast<std::size_t>(firstPosition);
    const double lastPosition =
        durationSeconds * static_cast<double>(peaksPerSecond) + static_cast<double>(first);
    if (lastPosition < static_cast<double>(first)) return std::nullopt;
    const std::size_t last = std::min(static_cast<std::size_t>(lastPosition), lastIndex);
    const float xStep =
        last > first ? static_cast<float>(size.width / static_cast<double>(last - first)) : 0.0f;
    // At most 100 pixels per second: at least 2 peaks per point, one point per 2 pixels or fewer.
    const std::size_t stride =
        std::max<std::size_t>(2, 2 * static_cast<std::size_t>(std::floor(100.0 / pixelsPerSecond)));
    Point start = origin;
    const std::size_t aligned = first - first % stride;
    start.x -= static_cast<double>(first - aligned) * xStep;
    first = aligned;

    Band result;
    result.points.reserve((last - first) / stride + 1);
    for (std::size_t index = first; index <= last; index += stride) {
        const std::size_t end = std::min(extents.size(), index + stride);
        float value = 0;
        for (std::size_t i = index; i < end; ++i) {
            const float candidate = isNormalNumber(extents[i]) ? extents[i] : 0.0f;
            value = std::max(value, candidate);
        }
        double height = std::min(static_cast<double>(value) * size.height + 0.5, size.height);
        if (!isNormalNumber(value) || !isNormalNumber(height)) height = 0;
        BandPoint point;
        point.x = start.x + static_cast<double>(index - first) * xStep;
        point.bottom = origin.y + (size.height - height) * 0.5;
        point.height = height;
        result.points.push_back(point);
    }

    const bool anyHeight = std::any_of(result.points.begin(), result.points.end(),
                                       [](const BandPoint& p) { return isNormalNumber(p.height); });
    if (!anyHeight) return result;
    for (auto it = result.points.rbegin(); it != result.points.rend(); ++it) {
        if (std::isnan(it->bottom) || std::isnan(it->height)) continue;
        result.outline.push_back(Point{it->x, it->bottom});
    }
    const BandPoint& front = result.points.front();
    result.outline.push_back(Point{front.x, front.bottom + front.height});
    for (std::size_t i = 1; i < result.points.size(); ++i) {
        const BandPoint& p = result.points[i];
        if (!isNormalNumber(p.bottom) || !isNormalNumber(p.height)) continue;
        result.outline.push_back(Point{p.x, p.bottom + p.height});
    }
    return result;
}

bool drawBand(GraphicsContext& context, std::span<const float> extents, Size size, double fromSecond,
              double durationSeconds, double pixelsPerSecond, Point origin) {
    const std::optional<Band> shape =
        band(extents, size, fromSecond, durationSeconds, pixelsPerSecond, origin);
    if (!shape) return false;
    if (shape->outline.empty()) return true;
    BezierPath path;
    path.moveTo(shape->outline.front());
    for (std::size_t i = 1; i < shape->outline.size(); ++i)
        path.lineTo(shape->outline[i]);
    path.closePath();
    context.saveGState();
    context.setFillColor(Color::deviceRGB(0.75, 0.75, 0.75, 1.0));
    context.fill(path);
    context.restoreGState();
    return true;
}

PlistBytes encodeFloats(std::span<const float> values) {
    PlistBytes bytes(values.size() * 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b)
            bytes[i * 4 + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
    return bytes;
}

namespace {

std::vector<float> decodeFloats(const PlistBytes& bytes, std::size_t count) {
    std::vector<float> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        for (int b = 0; b < 4; ++b)
            bits |= static_cast<std::uint32_t>(bytes[i * 4 + static_cast<std::size_t>(b)]) << (8 * b);
        values[i] = std::bit_cast<float>(bits);
    }
    return values;
}

} // namespace

Arrays decodeArrays(const std::optional<PlistBytes>& extents,
                    const std::optional<PlistBytes>& originalExtents) {
    Arrays arrays;
    if (!originalExtents) return arrays;
    const std::size_t originalCount = originalExtents->size() / 4;
    if (!extents) {
        // The heights follow from the peaks.
        arrays.originalExtents = decodeFloats(*originalExtents, originalCount);
        arrays.extents = rescale(arrays.originalExtents, defaultScale).extents;
        return arrays;
    }
    const std::size_t count = std::min(originalCount, extents->size() / 4);
    arrays.originalExtents = decodeFloats(*originalExtents, count);
    arrays.extents = decodeFloats(*extents, count);
    return arrays;
}

} // namespace vtl::waveform
