#pragma once
// Zooms of a recording driven by what the recorded user did, during an event-triggered state of
// its track: towards the clicks (kinds 0, 1 and unknown kinds), onto focus rectangles (2, 3),
// following the pointer (4) or none (5, spotlight only); and the darkened picture with focused
// rectangles lifted out of it. All in the recording's pixel space (origin bottom-left), media
// times. Pure functions over the track's prepared lists and the state (any thread).
//
// Inputs are recorded data and stored states, so nothing here trusts them: a missing or zero
// focus rectangle stands for the whole picture, a zoom time of zero or less switches at once, and
// a transform that would carry a non-finite number is no transform (the plain picture).

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"
#include "platform/graphics/Color.h"
#include "platform/imaging/CIImage.h"
#include "tracks/metadata/RecordedMetadataList.h"

#include <optional>
#include <vector>

namespace vtl {

class CompositionEventTriggeredState;
class CompositionTrackObject;

// An event zoom's centre and strength (0 … 1; the picture scales by 1 + factor).
struct EventZoomCentre {
    Point point;
    float factor = 0.0f;
};

// The transform of the picture for the state at media time t, by the state's kind; none when
// nothing applies. `compositionRect` bounds the focus and pointer-follow zooms; `centre` receives
// the event zoom's centre and factor (untouched for other kinds).
std::optional<AffineTransform> eventTransformForTime(const CompositionTrackObject& track, double t,
                                                     const CompositionEventTriggeredState& state,
                                                     const Rect& compositionRect,
                                                     EventZoomCentre* centre = nullptr);
std::optional<AffineTransform> eventZoomTransformForTime(const CompositionTrackObject& track, double t,
                                                         const CompositionEventTriggeredState& state,
                                                         EventZoomCentre* centre = nullptr);
std::optional<AffineTransform> focusTransformForTime(const CompositionTrackObject& track, double t,
                                                     const CompositionEventTriggeredState& state,
                                                     const Rect& compositionRect);
std::optional<AffineTransform> mouseFollowTransformForTime(const CompositionTrackObject& track, double t,
                                                           const CompositionEventTriggeredState& state,
                                                           const Rect& compositionRect);

// The state's event list (focus events for kinds 2 and 3, else mouse events) split at t: entries
// before t and from t on. Both stay untouched for an empty list.
void beforeEventsAfterEvents(PlistArray* before, PlistArray* after,
                             const CompositionEventTriggeredState& state, double t);

// The region of `compositionRect`'s size that shows focus rectangle F as large as it fits,
// centred on it and kept inside the composition: its origin and the zoom factor. A focus
// rectangle without area shows the whole composition (factor 1, origin 0).
void pointZoomFactorInFocusRect(Point* point, float* zoomFactor, const Rect& focusRect,
                                const Rect& compositionRect);

// How far focus entry `entry` of the track's focus list is lifted out at t (out `factor`, 0 … 1),
// its rectangle and the rectangle it grows to, zoomed by `zoomFactor` and kept inside `canvas`.
// False (factor 0) outside the entry's time and for an entry without area.
bool focusedZoomTransformFromEntry(const CompositionTrackObject& track, const FocusRectEntry& entry, double t,
                                   double zoomFactor, Size canvas, float* factor, Rect* rect, Rect* usedRect,
                                   double zoomTime);

// The picture darkened by `color` at `alpha`, with each source rectangle lifted out of it towards
// its target rectangle by its alpha. Lists of unequal length are a programming error (reported;
// the pairs present are drawn).
CIImage imageByGeneratingOverlayOfRects(const std::vector<Rect>& sources, const std::vector<Rect>& targets,
                                        const std::vector<float>& alphas, const Color& color, double alpha,
                                        const CIImage& image);

// Whether every component is finite.
bool isFiniteTransform(const AffineTransform& transform);

} // namespace vtl
