#pragma once
// Base of every timeline object with a frame on the canvas: its keyframes are rectangular, and it
// answers the frame rectangle, opacity, rotation and frame line at any time by interpolating its
// keyframes along their timing curves. It is the object's visual capability; the kinds derived
// from it refine that. Held by std::shared_ptr like every timeline object; its mask and the object
// it masks are not owned.

#include "model/CompositionBaseObject.h"
#include "model/VisualCapability.h"

namespace vtl {

class CompositionRectangularState;

class CompositionRectangularObject : public CompositionBaseObject, public VisualCapability {
public:
    explicit CompositionRectangularObject(CompositionObjectsContainer* container);
    CompositionRectangularObject(CompositionObjectsContainer* container,
                                 std::shared_ptr<CompositionBaseState> baseState);

    std::string className() const override { return "CompositionRectangularObject"; }

    std::shared_ptr<CompositionBaseState> newStateOfStateClass() override;

    // Values at a composition time, from the keyframes that carry each group.
    Rect rectForTime(double compositionTime) const override;
    float opacityForTime(double compositionTime) const override;
    float rotationForTime(double compositionTime) const override;
    float frameThicknessForTime(double compositionTime) const override;
    bool stateIsDuringTransition(const CompositionBaseState& state) const override;

    std::shared_ptr<CompositionBaseObject> maskObject() const override { return maskObject_.lock(); }
    std::shared_ptr<CompositionBaseObject> maskForObject() const override { return maskForObject_.lock(); }
    void setMaskObject(const std::shared_ptr<CompositionBaseObject>& mask) override;
    void setMaskForObject(const std::shared_ptr<CompositionBaseObject>& masked) override;

    void addAnimationGroupFromDictionary(const PlistDictionary& group) override;

    // Set while the object is anchored to a track: its times follow the track, not the user.
    bool timeCantManuallyBeSet() const { return timeCantManuallyBeSet_; }
    void setTimeCantManuallyBeSet(bool flag) { timeCantManuallyBeSet_ = flag; }

    void fillStateWithInterpolatedValuesForTime(CompositionBaseState& state, double compositionTime) override;
    // The bracketing keyframes of an effect; a keyframe that ends the effect's segment does not
    // interpolate into the next one.
    StateList findStatesToInterpolateForTimeForEffectNamed(double time,
                                                           const std::string& effectName) const override;

protected:
    VisualCapability* visualCapability() override { return this; }
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;

private:
    // The keyframes of the group at the time with the progress between them (0 with one keyframe).
    struct GroupInterpolation {
        const CompositionRectangularState* from = nullptr;
        const CompositionRectangularState* to = nullptr;
        double progress = 0;
    };
    GroupInterpolation interpolationForGroup(double compositionTime, const std::string& group) const;

    std::weak_ptr<CompositionBaseObject> maskObject_;
    std::weak_ptr<CompositionBaseObject> maskForObject_;
    bool timeCantManuallyBeSet_ = false;
};

} // namespace vtl
