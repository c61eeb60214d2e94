#pragma once
// Turns a recording's "mouse" file (outside data: whatever a recorder or a damaged disk left)
// into the prepared lists a recording track draws from: clicks with their counts and IDs, wheel
// turns, pointer positions, thinned focus rectangles in pixels and cursor images. Damaged entries
// are left out, unsorted lists are sorted (equal times keep their order). Pure functions; the
// track calls them on the main thread and shares the result.

#include "tracks/RecordedMetadataList.h"

#include <cstddef>
#include <string>

namespace vtl {

// Clicks further apart than this start a new run of clicks.
inline constexpr double kClickRunGapSeconds = 0.5;
// Clicks at the start of a recording later than this are recorder faults and are dropped.
inline constexpr double kLatestFirstClickSeconds = 7200.0;
// A focus rectangle followed this soon by another one is left out.
inline constexpr double kFocusThinningSeconds = 0.5;

struct PreparedMouseMetadata {
    MetadataSnapshot<MouseClickEntry> clicks;
    MetadataSnapshot<MouseWheelEntry> wheelEvents;
    MetadataSnapshot<MouseLocationEntry> locations;
    MetadataSnapshot<FocusRectEntry> focusRects;
    MetadataSnapshot<CursorImageEntry> cursorImages;
    // The file had button or wheel events at all.
    bool hasRecordedEvents = false;
    // Entries left out as damaged.
    std::size_t droppedEntries = 0;
};

// The whole file (null when the package has none). A content scale of 0 or not finite counts
// as 1. Damage is logged once per call.
PreparedMouseMetadata prepareMouseMetadata(const PropertyList* mouseFile, double contentScale);

// The button presses (event type 1) of events ascending by time, without leading presses later
// than kLatestFirstClickSeconds, each with its click count and click ID.
std::vector<MouseClickEntry> preparedMouseEvents(const std::vector<MouseClickEntry>& events);
// Thins focus rectangles ascending by time: an entry followed within kFocusThinningSeconds by
// the next is removed.
std::vector<FocusRectEntry> thinnedFocusRects(std::vector<FocusRectEntry> entries);

// The dictionary forms the triggered states read: "time" and the text of "point" / "focusRect".
PlistArray plistArrayOfClicks(const RecordedMetadataList<MouseClickEntry>& clicks);
PlistArray plistArrayOfLocations(const RecordedMetadataList<MouseLocationEntry>& locations);
PlistArray plistArrayOfFocusRects(const RecordedMetadataList<FocusRectEntry>& focusRects);

} // namespace vtl
