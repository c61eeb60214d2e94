#include "objects/CompositionRectangularObject.h"

#include "model/CompositionRectangularState.h"
#include "model/TimingCurves.h"
#include "platform/foundation/Log.h"

namespace vtl {

namespace {

double mix(double from, double to, double progress) {
    return from + (to - from) * progress;
}

} // namespace

CompositionRectangularObject::CompositionRectangularObject(CompositionObjectsContainer* container)
    : CompositionBaseObject(container) {}

CompositionRectangularObject::CompositionRectangularObject(CompositionObjectsContainer* container,
                                                           std::shared_ptr<CompositionBaseState> baseState)
    : CompositionBaseObject(container, std::move(baseState)) {}

std::shared_ptr<CompositionBaseState> CompositionRectangularObject::newStateOfStateClass() {
    return makeModelObject<CompositionRectangularState>(this);
}

CompositionRectangularObject::GroupInterpolation
CompositionRectangularObject::interpolationForGroup(double compositionTime, const std::string& group) const {
    GroupInterpolation result;
    StateList found =
        findStatesToInterpolateForTimeForAttributeGroupNamed(compositionTime - startTime(), group);
    if (found.empty()) return result;
    result.from = dynamic_cast<const CompositionRectangularState*>(found.front().get());
    if (found.size() < 2 || !result.from) return result;
    result.to = dynamic_cast<const CompositionRectangularState*>(found[1].get());
    if (!result.to) return result;
    // The earlier keyframe's curve governs the stretch to the next one.
    result.progress =
        animationProgressFromTimes(result.from->animationTimingKind(), compositionTime,
                                   startTime() + result.from->time(), startTime() + result.to->time());
    return result;
}

Rect CompositionRectangularObject::rectForTime(double compositionTime) const {
    GroupInterpolation g = interpolationForGroup(compositionTime, kGroupRectOrScaling);
    if (!g.from) return Rect();
    const Rect a = g.from->rect();
    if (!g.to) return a;
    const Rect b = g.to->rect();
    return Rect(mix(a.origin.x, b.origin.x, g.progress), mix(a.origin.y, b.origin.y, g.progress),
                mix(a.size.width, b.size.width, g.progress), mix(a.size.height, b.size.height, g.progress));
}

float CompositionRectangularObject::opacityForTime(double compositionTime) const {
    GroupInterpolation g = interpolationForGroup(compositionTime, kGroupOpacity);
    if (!g.from) return 1.0f;
    if (!g.to) return g.from->opacity();
    return static_cast<float>(mix(g.from->opacity(), g.to->opacity(), g.progress));
}

float CompositionRectangularObject::rotationForTime(double compositionTime) const {
    GroupInterpolation g = interpolationForGroup(compositionTime, kGroupRotation);
    if (!g.from) return 0.0f;
    if (!g.to) return g.from->rotation();
    return static_cast<float>(mix(g.from->rotation(), g.to->rotation(), g.progress));
}

float CompositionRectangularObject::frameThicknessForTime(double compositionTime) const {
    GroupInterpolation g = interpolationForGroup(compositionTime, kGroupFrame);
    if (!g.from) return 0.0f;
    if (!g.to) return g.from->frameThickness();
    return static_cast<float>(mix(g.from->frameThickness(), g.to->frameThickness(), g.progress));
}

bool CompositionRectangularObject::stateIsDuringTransition(const CompositionBaseState&) const {
    // No transitions are attached to objects yet.
    return false;
}

void CompositionRectangularObject::setMaskObject(const std::shared_ptr<CompositionBaseObject>& mask) {
    maskObject_ = mask;
    invalidate();
}

void CompositionRectangularObject::setMaskForObject(const std::shared_ptr<CompositionBaseObject>& masked) {
    maskForObject_ = masked;
    invalidate();
}

void CompositionRectangularObject::addAnimationGroupFromDictionary(const PlistDictionary&) {
    logMessage("implement addAnimationGroupFromDictionary in a concrete subclass.");
}

void CompositionRectangularObject::fillStateWithInterpolatedValuesForTime(CompositionBaseState& base,
                                                                          double compositionTime) {
    CompositionBaseObject::fillStateWithInterpolatedValuesForTime(base, compositionTime);
    auto* state = dynamic_cast<CompositionRectangularState*>(&base);
    if (!state) return;
    // The keyframe in effect gives the values that are not interpolated.
    std::shared_ptr<CompositionBaseState> sourceHolder;
    if (isAnimationEnabled()) {
        StateList found = findStatesToInterpolateForTime(compositionTime - startTime());
        if (!found.empty()) sourceHolder = found.front();
    }
    if (!sourceHolder) sourceHolder = noneAnimationState();
    auto* source = dynamic_cast<const CompositionRectangularState*>(sourceHolder.get());
    if (!source || source == state) return;
    state->setRect(rectForTime(compositionTime));
    state->setOpacity(opacityForTime(compositionTime));
    state->setRotation(rotationForTime(compositionTime));
    state->setFrameThickness(frameThicknessForTime(compositionTime));
    state->setXScalingFactor(source->xScalingFactor());
    state->setYScalingFactor(source->yScalingFactor());
    state->setFrameColor(source->frameColor());
    state->setShadowColor(source->shadowColor());
    state->setShadowOpacity(source->shadowOpacity());
    state->setShadowRadius(source->shadowRadius());
    state->setShadowAngle(source->shadowAngle());
    state->setShadowDistance(source->shadowDistance());
    state->setCornerRadiusNumber(source->cornerRadiusNumber());
    state->setDrawsFrame(source->drawsFrame());
    state->setDrawsShadow(source->drawsShadow());
    state->setDrawsBackground(source->drawsBackground());
    state->setBackgroundColor(source->backgroundColor());
}

StateList CompositionRectangularObject::findStatesToInterpolateForTimeForEffectNamed(
    double time, const std::string& effectName) const {
    if (!isAnimationEnabled()) return {noneAnimationState()};
    if (countOfStates() == 0) return {};
    if (auto exact = stateForTimeForEffectNamed(time, TimeTolerance::Exact, effectName)) return {exact};
    StateList found =
        bracketStatesInList(statesForEffectNamed(effectName, NoneAnimationState::Include), time);
    if (found.size() == 2) {
        auto* earlier = dynamic_cast<const CompositionRectangularState*>(found.front().get());
        if (earlier && earlier->endMarkerForAttributeGroupNamed(effectName)) found.erase(found.begin());
    }
    return found;
}

std::shared_ptr<CompositionBaseObject>
CompositionRectangularObject::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionRectangularObject>(compositionObjectsContainer(), std::move(baseState));
}

} // namespace vtl
