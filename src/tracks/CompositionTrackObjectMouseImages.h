#pragma once
// The recorded pointer drawn over a recording: the cursor (recorded cursor pictures or one of the
// synthetic cursors), click rings with optional button and count labels, wheel arrows, and under
// an event-triggered state either the frame's zoom applied to it or a darkened spotlight around
// the pointer. Images in the recording's pixel space (origin bottom-left); the renderer's object
// cache keeps the decoded cursor (stamped by kind and cursor index, so a cursor picture is decoded
// once per change) and the spotlight sheet. Render threads; reads the track's prepared lists.
//
// Media times m unless named global; the object's own animated values are read at global time
// m + startTime.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/CIImage.h"

#include <cstdint>

namespace vtl {

class CompositionTrackObject;
class ObjectRendererResources;

inline constexpr const char* kCachePathMouseCursorImage = "mouseCursorImage";
inline constexpr const char* kCachePathMouseFocusImage = "mouseFocusImage";

// The whole overlay at global time t: cursor, clicks and wheel, zoomed or spotlit by the state in
// effect, cropped to the picture; none when nothing is to be drawn.
CIImage mouseCursorAndEventImageAtTime(const CompositionTrackObject& track, double globalTime,
                                       ObjectRendererResources* renderer, float backingScalingFactor);
// The cursor placed at its hot spot (and the wheel arrows when shown); none without a valid
// pointer inside the picture or for a hidden recorded cursor.
CIImage mouseImageAtTime(const CompositionTrackObject& track, double m, Point offset, float opacity,
                         ObjectRendererResources* renderer);
// Click rings and labels of the clicks younger than the style's duration; none without any.
CIImage mouseEventsImageAtTime(const CompositionTrackObject& track, double m, Point offset);
CIImage mouseWheelImageAtTime(const CompositionTrackObject& track, double m, Point offset);
// One arrow for a wheel direction (y > 0 up, y < 0 down, else x > 0 left, x < 0 right) by the
// pointer at (px, py), faded by progress.
CIImage mouseWheelImageForDirection(double wheelX, double wheelY, Point point, float progress);
// 1 up to progress 0.75, then fading linearly to 0 at 1.
float alphaFromProgress(float progress);
bool needsToDrawMouseWheelAtTime(const CompositionTrackObject& track, double m);
bool needsToVisualizeMouseEventAtTime(const CompositionTrackObject& track, double m);
// The stamp of the untranslated cursor: the complement of a synthetic kind, else the index of
// the recorded cursor picture in effect (all ones without one).
std::uint64_t mouseImageCacheHashAtTime(const CompositionTrackObject& track, double m);

// How often a recorded cursor picture was decoded in this process (the cost the cache saves).
std::uint64_t mouseCursorDecodeCount();

} // namespace vtl
