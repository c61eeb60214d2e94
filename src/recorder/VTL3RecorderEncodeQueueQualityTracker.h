#pragma once
// Remembers how many pixels the recent frames changed, so the JPEG quality can rise while the
// picture is calm and fall while much of it changes. Owned by the encode queue; worker thread only.

#include <cstdint>
#include <vector>

namespace vtl {

class VTL3RecorderEncodeQueueQualityTracker {
public:
    VTL3RecorderEncodeQueueQualityTracker(std::uint64_t maximumNumberOfFrames, double recordWidth,
                                          double recordHeight, std::uint64_t framesPerSecond);

    // Times are ticks of 1/600 s. When the entries in use reach capacity - 1 the oldest goes first.
    void addNumberOfPixels(std::uint32_t pixels, std::uint64_t time);
    void shiftTrackEntriesBy(std::uint64_t count);
    // Sum of the pixel counts recorded with from <= time <= to; the number of summed entries goes
    // to `effectiveFrames` when given.
    std::uint64_t numberOfChangedPixels(std::uint64_t fromTime, std::uint64_t toTime,
                                        std::uint64_t* effectiveFrames = nullptr) const;
    // Share of the area changed per frame over the interval, in 0...1 (0 for an empty interval).
    float qualityFactorForTime(std::uint64_t fromTime, std::uint64_t toTime) const;

    std::uint32_t trackCounter() const { return static_cast<std::uint32_t>(entries_.size()); }

private:
    struct Entry {
        std::uint64_t time;
        std::uint32_t pixels;
    };
    std::vector<Entry> entries_; // oldest first
    std::uint64_t maximumNumberOfFrames_;
    double recordWidth_;
    double recordHeight_;
    std::uint64_t framesPerSecond_;
};

} // namespace vtl
