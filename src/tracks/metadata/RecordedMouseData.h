#pragma once
// Turns a recording's "mouse" file (outside data: whatever a recorder or a damaged disk left)
// into the prepared lists a recording track draws from: clicks with their counts and IDs, wheel
// turns, pointer positions, thinned focus rectangles in pixels and cursor images. Damaged entries
// are left out, unsorted lists are sorted (equal times keep their order). Also picks the clicks a
// track shows from its click switch. Pure functions; the track calls them on the main thread and
// shares the result, the package tools call them to print what a track would draw.

#include "tracks/metadata/RecordedMetadataList.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vtl {

class VistrelRecording;

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
// The package's "mouse" file at the package's content scale; a null recording has no pointer data.
PreparedMouseMetadata prepareRecordingMouseMetadata(const VistrelRecording* recording);

// The button presses (event type 1) of events ascending by time, without leading presses later
// than kLatestFirstClickSeconds, each with its click count and click ID.
std::vector<MouseClickEntry> preparedMouseEvents(const std::vector<MouseClickEntry>& events);
// Thins focus rectangles ascending by time: an entry followed within kFocusThinningSeconds by
// the next is removed.
std::vector<FocusRectEntry> thinnedFocusRects(std::vector<FocusRectEntry> entries);

// A track's click switch: one value for the whole clip, or animated by its keyframes.
struct ClickSwitchKeyframe {
    double time = 0; // media seconds
    bool on = false;
};
struct ClickVisualizationSwitch {
    bool animated = false;
    // Unanimated, the switch itself; animated, the switch in effect at the clip's start.
    bool on = true;
    // Animated: the keyframes that set the switch, in the track's keyframe order (ascending).
    std::vector<ClickSwitchKeyframe> keyframes;
    // Animated: where a span still on after the last keyframe ends (the media's duration).
    double duration = 0;
};
// The clicks a track shows: unanimated, every click or none; animated, the clicks inside the
// spans (ends included) from a keyframe that switches on to the next that switches off. A span
// closing at or before media time 0 shows nothing. A fresh track's switch is the default one.
std::vector<MouseClickEntry> clicksToVisualize(const RecordedMetadataList<MouseClickEntry>& clicks,
                                               const ClickVisualizationSwitch& clickSwitch);

// The dictionary forms the triggered states read: "time" and the text of "point" / "focusRect".
PlistArray plistArrayOfClicks(const RecordedMetadataList<MouseClickEntry>& clicks);
PlistArray plistArrayOfLocations(const RecordedMetadataList<MouseLocationEntry>& locations);
PlistArray plistArrayOfFocusRects(const RecordedMetadataList<FocusRectEntry>& focusRects);

} // namespace vtl
