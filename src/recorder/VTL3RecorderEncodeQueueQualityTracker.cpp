#include "recorder/VTL3RecorderEncodeQueueQualityTracker.h"

#include "recorder/format/RecordingFormat.h"

#include <algorithm>

namespace vtl {

VTL3RecorderEncodeQueueQualityTracker::VTL3RecorderEncodeQueueQualityTracker(
    std::uint64_t maximumNumberOfFrames, double recordWidth, double recordHeight,
    std::uint64_t framesPerSecond)
    : maximumNumberOfFrames_(std::max<std::uint64_t>(maximumNumberOfFrames, 2))
    , recordWidth_(recordWidth)
    , recordHeight_(recordHeight)
    , framesPerSecond_(framesPerSecond) {
    entries_.reserve(static_cast<std::size_t>(maximumNumberOfFrames_));
}

void VTL3RecorderEncodeQueueQualityTracker::addNumberOfPixels(std::uint32_t pixels, std::uint64_t time) {
    if (entries_.size() >= maximumNumberOfFrames_ - 1) shiftTrackEntriesBy(1);
    entries_.push_back({time, pixels});
}

void VTL3RecorderEncodeQueueQualityTracker::shiftTrackEntriesBy(std::uint64_t count) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, entries_.size()));
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(n));
}

std::uint64_t
VTL3RecorderEncodeQueueQualityTracker::numberOfChangedPixels(std::uint64_t fromTime, std::uint64_t toTime,
                                                             std::uint64_t* effectiveFrames) const {
    std::uint64_t sum = 0;
    std::uint64_t frames = 0;
    for (const Entry& entry : entries_) {
        if (entry.time > toTime) break;
        if (entry.time >= fromTime) {
            sum += entry.pixels;
            ++frames;
        }
    }
    if (effectiveFrames) *effectiveFrames = frames;
    return sum;
}

float VTL3RecorderEncodeQueueQualityTracker::qualityFactorForTime(std::uint64_t fromTime,
                                                                  std::uint64_t toTime) const {
    if (toTime < fromTime) return 0.0f;
    const std::uint64_t pixels = numberOfChangedPixels(fromTime, toTime);
    // Early in a recording the window is shorter than a second; count at least one frame so the
    // factor stays defined.
    const float frames =
        std::max(1.0f, static_cast<float>(static_cast<std::uint64_t>(static_cast<float>(toTime - fromTime) /
                                                                     static_cast<float>(kTimeScale) *
                                                                     static_cast<float>(framesPerSecond_))));
    const float area = static_cast<float>(recordWidth_) * static_cast<float>(recordHeight_);
    if (!(area > 0.0f)) return 0.0f;
    return std::clamp(static_cast<float>(pixels) / (frames * area), 0.0f, 1.0f);
}

} // namespace vtl
