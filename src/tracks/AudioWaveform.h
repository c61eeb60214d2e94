#pragma once
// The arithmetic of an audio track's waveform, free of threads and of the track: peaks of decoded
// mono samples (one per 10 ms), their display heights, the band drawn for a span of the timeline,
// and the archived form of both arrays. Plain functions over values; any thread.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vtl {

class GraphicsContext;

namespace waveform {

// Decoding rate of the extraction and the frames behind one peak (100 peaks per second).
constexpr std::int32_t sampleRate = 44000;
constexpr std::size_t framesPerPeak = 440;
constexpr std::size_t peaksPerSecond = 100;
// The scale every fresh waveform is shown with.
constexpr float defaultScale = 0.95f;

// One peak per started block of framesPerPeak frames: the block's sample of largest magnitude,
// with its sign (the first of equal magnitudes). NaN samples count as silence.
std::vector<float> peaksOfSamples(std::span<const float> samples);

// The same, fed piece by piece, so a decode keeps only its peaks and never the whole sound.
class PeakAccumulator {
public:
    void reserve(std::size_t frames) { peaks_.reserve(frames / framesPerPeak + 1); }
    void add(std::span<const float> samples);
    std::size_t frameCount() const { return frames_; }
    // The peaks so far, the last block however short.
    std::vector<float> finish();

private:
    std::vector<float> peaks_;
    std::size_t frames_ = 0;
    std::size_t inBlock_ = 0;
    float peak_ = 0;
    float magnitude_ = 0;
};

struct Scaled {
    std::vector<float> extents;
    float maxExtent = 0;
    float minExtent = 0;
};
// Display heights: |peak| × 0.75 ÷ M with M the largest scaled magnitude. Silence (M = 0) or a
// scale that leaves no finite factor gives heights of 0, and so no band.
Scaled rescale(std::span<const float> originalExtents, float scale);

// One point of the band: its bottom edge and height in the drawing's coordinates.
struct BandPoint {
    double x = 0;
    double bottom = 0;
    double height = 0;
};
struct Band {
    std::vector<BandPoint> points;
    // The closed outline (bottom edge backwards, then the tops forwards); empty when nothing shows.
    std::vector<Point> outline;
};
// The band for the span [fromSecond, fromSecond + durationSeconds) drawn into `size` at `origin`,
// one point per 2 × floor(100 ÷ pixelsPerSecond) peaks, aligned to that stride. None when there
// are fewer than 2 peaks, the span lies past the end or the scale is unusable.
std::optional<Band> band(std::span<const float> extents, Size size, double fromSecond, double durationSeconds,
                         double pixelsPerSecond, Point origin);
// Fills the band's outline in light grey; false when band() gives none.
bool drawBand(GraphicsContext& context, std::span<const float> extents, Size size, double fromSecond,
              double durationSeconds, double pixelsPerSecond, Point origin);

// The archived form: the floats in little-endian order.
PlistBytes encodeFloats(std::span<const float> values);
struct Arrays {
    std::vector<float> extents;
    std::vector<float> originalExtents;
};
// From the two archived blocks, either of which may be missing. Both arrays get the shorter whole
// count of floats of the two blocks; trailing partial floats are ignored and nothing is read past
// the end of a block. Without the peaks there is no waveform; without the heights they are made
// from the peaks.
Arrays decodeArrays(const std::optional<PlistBytes>& extents,
                    const std::optional<PlistBytes>& originalExtents);

} // namespace waveform

} // namespace vtl
