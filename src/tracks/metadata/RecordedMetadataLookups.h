#pragma once
// The lookups every consumer of recorded pointer data goes through: where the pointer was at a
// media time, which focus rectangle applied, which clicks and wheel turns lie in a window, and
// readable text for recorded key codes and modifier flags. Pure functions over the immutable
// lists (any thread); each is one binary search plus the copy of what it returns. The track object
// answers them over its current lists.

#include "tracks/metadata/RecordedMetadataList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

// The entry in effect at the time: −1 for an empty list, else the exact match or the last entry
// before the time (the first one before all, the last after all).
template <typename Entry> std::int32_t indexOfTime(double time, const RecordedMetadataList<Entry>& list) {
    const std::optional<std::size_t> index = list.indexInEffectAt(time);
    return index ? static_cast<std::int32_t>(*index) : -1;
}

// The entry whose time lies closest; a tie goes to the later entry. −1 for an empty list.
std::int32_t indexOfClosestEvent(std::span<const double> times, double time);
template <typename Entry>
std::int32_t indexOfClosestEventInArray(const RecordedMetadataList<Entry>& list, double time) {
    return indexOfClosestEvent(list.times(), time);
}
// |time of the closest entry − time|; 0 with isValid false for an empty list.
template <typename Entry>
double secondsFromClosestEventInArray(const RecordedMetadataList<Entry>& list, double time, bool* isValid) {
    const std::int32_t index = indexOfClosestEventInArray(list, time);
    if (isValid) *isValid = index >= 0;
    if (index < 0) return 0.0;
    const double distance = list.times()[static_cast<std::size_t>(index)] - time;
    return distance < 0 ? -distance : distance;
}

Point mouseLocationAtTime(const RecordedMetadataList<MouseLocationEntry>& list, double time, bool* isValid);
// An exponential moving average over the positions of the last `windowSeconds`, weights not
// normalised. The factor must lie strictly between 0 and 1 (else reported, and the zero point).
Point smoothedMouseLocationAtTime(const RecordedMetadataList<MouseLocationEntry>& list, double time,
                                  bool* isValid, double windowSeconds, double smoothingFactor);
Rect focusRectAtTime(const RecordedMetadataList<FocusRectEntry>& list, double time, bool* isValid);
// The focus entries around the time, each side reaching one entry beyond 0.5 s; nullopt for none.
std::optional<std::vector<FocusRectEntry>>
focusEntriesValidAtTime(const RecordedMetadataList<FocusRectEntry>& list, double time);
// Entries in effect from `from` (clamped at 0) to `to`, inclusive; the first may lie before
// `from`. nullopt when the window is invalid (empty list, or `to` before `from` after lookup).
std::optional<std::vector<MouseWheelEntry>>
mouseWheelEventsFromTo(const RecordedMetadataList<MouseWheelEntry>& list, double from, double to);
// The same window over the clicks to visualize, keeping entries whose event type shares a bit
// with the mask.
std::optional<std::vector<MouseClickEntry>>
mouseEventsFromTo(const RecordedMetadataList<MouseClickEntry>& list, std::int64_t eventTypeMask, double from,
                  double to);

// Names of the set modifier bits (shift, control, option, command), joined by the localized
// spacing.
std::string modifiersStringFromInt(std::uint32_t flags);
// Each character code (low 16 bits) as its readable name or the character itself.
std::vector<std::string> stringFromChars(const std::vector<std::int64_t>& characterCodes);
// Entries (dictionaries with "character") whose UTF-8 bytes name a special key get its readable
// name; others stay as they are.
PlistArray replaceMetaCharsWithKeyboardEquivalentsInArray(const PlistArray& entries);

} // namespace vtl
