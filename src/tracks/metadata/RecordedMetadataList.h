#pragma once
// One list of recorded pointer metadata (positions, clicks, wheel turns, focus rectangles, cursor
// images): entries ascending by media time, with a plain array of their times for the search.
// Built whole on the main thread and then never changed: holders share it through
// std::shared_ptr<const ...>, so a render thread holding one never sees it change while the
// track replaces its lists.

#include "model/TimeSortedSearch.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl {

// Pointer position, in pixels of the recording (origin lower left).
struct MouseLocationEntry {
    double time = 0;
    Point point;
};

// A button press, with its place in a run of quick clicks.
struct MouseClickEntry {
    double time = 0;
    Point point;
    std::int64_t eventType = 0; // a bit mask: 1 down, 2 up
    std::int64_t button = 0;    // 1 left, 2 right, 3 middle, other values other
    std::uint32_t clickCount = 0;
    std::uint32_t clickID = 0;
};

// A wheel turn; the sign of each delta gives its direction.
struct MouseWheelEntry {
    double time = 0;
    Point point;
    double wheelX = 0;
    double wheelY = 0;
};

// The front window's rectangle, in pixels of the recording.
struct FocusRectEntry {
    double time = 0;
    Rect focusRect;
};

// A recorded cursor image (TIFF data) and its hot spot in the image's own points.
struct CursorImageEntry {
    double time = 0;
    std::shared_ptr<const PlistBytes> tiffData;
    Point hotspot;
    bool cursorVisible = true;
};

template <typename Entry> class RecordedMetadataList {
public:
    RecordedMetadataList() = default;
    // Sorts the entries by time, keeping the order of equal times.
    explicit RecordedMetadataList(std::vector<Entry> entries)
        : entries_(std::move(entries)) {
        auto earlier = [](const Entry& a, const Entry& b) { return a.time < b.time; };
        if (!std::is_sorted(entries_.begin(), entries_.end(), earlier))
            std::stable_sort(entries_.begin(), entries_.end(), earlier);
        times_.reserve(entries_.size());
        for (const Entry& entry : entries_)
            times_.push_back(entry.time);
    }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const Entry& operator[](std::size_t index) const { return entries_[index]; }
    const std::vector<Entry>& entries() const { return entries_; }
    std::span<const double> times() const { return times_; }

    // The entry in effect at the media time; nullopt only for an empty list.
    std::optional<std::size_t> indexInEffectAt(double time) const {
        const double* times = times_.data();
        return indexInEffectAtTime(times_.size(), time, [times](std::size_t i) { return times[i]; });
    }

private:
    std::vector<Entry> entries_;
    std::vector<double> times_;
};

template <typename Entry> using MetadataSnapshot = std::shared_ptr<const RecordedMetadataList<Entry>>;

template <typename Entry> MetadataSnapshot<Entry> makeMetadataSnapshot(std::vector<Entry> entries) {
    return std::make_shared<const RecordedMetadataList<Entry>>(std::move(entries));
}

} // namespace vtl
