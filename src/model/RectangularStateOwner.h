#pragma once
// What a rectangular keyframe asks of its object (a rectangular timeline object): the values the
// object shows at a composition time, and whether a keyframe lies in one of its transitions.
// Implemented by the rectangular object; the keyframe holds no ownership.

#include "platform/foundation/Geometry.h"

namespace vtl {

class CompositionBaseState;

class RectangularStateOwner {
public:
    virtual ~RectangularStateOwner() = default;
    virtual Rect rectForTime(double compositionTime) const = 0;
    virtual float opacityForTime(double compositionTime) const = 0;
    virtual float rotationForTime(double compositionTime) const = 0;
    virtual float frameThicknessForTime(double compositionTime) const = 0;
    virtual bool stateIsDuringTransition(const CompositionBaseState& state) const = 0;
};

} // namespace vtl
