// Time rules and lifecycle of CompositionRectangularObject: when it draws and may be split or
// trimmed, the links to its transitions, whole-lifetime edits, track changes, deletion, teardown,
// copying and loading.

#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "model/MediaTrackCapability.h"
#include "model/TransitionCapability.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/CompositionTransition.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/SinglePrecision.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vtl {

namespace {

using Object = CompositionRectangularObject;
using State = CompositionRectangularState;

const char kMaskPropertiesPane[] = "MaskProperties.nib";
const char kDependentObjectPane[] = "DependentObjectPropertiesView.nib";

// The context of the observations of the two transitions.
const void* transitionContext() {
    static const char context = 0;
    return &context;
}

} // namespace

Object::~CompositionRectangularObject() {
    if (auto observed = observedFromTransition_.lock()) observed->removeObserver(fromTransitionObservation_);
    if (auto observed = observedToTransition_.lock()) observed->removeObserver(toTransitionObservation_);
}

const TransitionCapability* Object::transitionOf(const std::shared_ptr<CompositionBaseObject>& object) const {
    return object ? object->asTransition() : nullptr;
}

// --- Time rules

void Object::setTimeCantManuallyBeSet(bool locked) {
    setObservedValue("timeCantManuallyBeSet", timeCantManuallyBeSet_, locked);
    invalidate();
}

bool Object::needsToDrawAtTime(double compositionTime) const {
    double start = snapStartTime();
    double end = snapEndTime();
    // While a transition covers the object, the transition draws it. A transition whose objects
    // have come apart (it is about to be removed) never stretches the object beyond its own times.
    if (const TransitionCapability* to = transitionOf(toTransition()))
        end = std::min(end, to->transitionStartTimeInGlobalTime());
    if (const TransitionCapability* from = transitionOf(fromTransition()))
        start = std::max(start, from->transitionEndTimeInGlobalTime());
    return start <= compositionTime && compositionTime <= end;
}

bool Object::canBeSplitAtGlobalTime(double compositionTime) const {
    const double time = compositionTime - snapStartTime();
    if (const TransitionCapability* from = transitionOf(fromTransition())) {
        if (time < from->transitionEndTime()) return false;
    }
    if (const TransitionCapability* to = transitionOf(toTransition())) {
        if (time > to->transitionStartTime()) return false;
    }
    // A cut at either end would leave a piece without length.
    return snapStartTime() < compositionTime && compositionTime < snapEndTime();
}

bool Object::shouldSetStartTime(double compositionTime) const {
    if (const TransitionCapability* to = transitionOf(toTransition())) {
        if (compositionTime > to->earliestGlobalEndTime()) return false;
    }
    return endTime() - compositionTime >= minimumDurationSeconds;
}

bool Object::shouldSetEndTime(double compositionTime) const {
    if (const TransitionCapability* from = transitionOf(fromTransition())) {
        if (compositionTime < from->latestGlobalStartTime()) return false;
    }
    return compositionTime - startTime() >= minimumDurationSeconds;
}

void Object::animationStretchModeIgnoringSetEndTime(double compositionTime) {
    if (!std::isfinite(compositionTime)) {
        logMessage("Refused an end time that is not a finite number.");
        return;
    }
    if (CompositionUndoManager* manager = registersUndoForChanges() ? undoManager() : nullptr) {
        auto self = std::static_pointer_cast<Object>(shared_from_this());
        const double previous = endTime();
        manager->registerUndo(this,
                              [self, previous] { self->animationStretchModeIgnoringSetEndTime(previous); });
    }
    endTime_ = compositionTime;
    invalidate();
    postObjectNotification(kObjectChangedTimesExplicitlyWithoutKVCNotification, this);
}

void Object::setStartTime(double startTime) {
    CompositionBaseObject::setStartTime(startTime);
    if (auto to = toTransition(); to && to->asTransition()) to->asTransition()->setupTimes();
    if (auto from = fromTransition(); from && from->asTransition()) from->asTransition()->setupTimes();
}

void Object::setEndTime(double endTime) {
    CompositionBaseObject::setEndTime(endTime);
    if (auto to = toTransition(); to && to->asTransition()) to->asTransition()->setupTimes();
    if (auto from = fromTransition(); from && from->asTransition()) from->asTransition()->setupTimes();
}

void Object::ownTimesChanged() {
    // A transition's own times are derived from its objects: a move of the transition alone (a
    // container moving everything after a time) is put back.
    if (auto* self = dynamic_cast<CompositionTransition*>(this); self && !self->isInvalidated()) {
        self->setupTimes();
        return;
    }
    for (const auto& linked : {toTransition(), fromTransition()}) {
        auto transition = std::dynamic_pointer_cast<CompositionTransition>(linked);
        if (!transition || transition->isInvalidated()) continue;
        transition->setupTimes();
        transition->removeLaterIfApart();
    }
}

bool Object::stateIsDuringTransition(const CompositionBaseState& state) const {
    // Only keyframes of the list (not the none-animation state) lie in time.
    const bool listed = &state != noneAnimationState().get() && listsState(state);
    if (!listed) return false;
    if (const TransitionCapability* from = transitionOf(fromTransition())) {
        if (state.time() < from->transitionEndTimeInGlobalTime() - startTime()) return true;
    }
    const TransitionCapability* to = transitionOf(toTransition());
    return to && state.time() > to->transitionStartTimeInGlobalTime() - startTime();
}

// --- Whole-lifetime edits

void Object::scaleObjectOverLifeTimeByFactor(double factor) {
    if (!std::isfinite(factor)) {
        logMessage("Refused a scaling factor that is not a finite number.");
        return;
    }
    if (auto* state = dynamic_cast<State*>(noneAnimationState().get())) state->scaleStateByFactor(factor);
    for (const auto& member : states()) {
        if (auto* state = dynamic_cast<State*>(member.get())) state->scaleStateByFactor(factor);
    }
    invalidate();
}

void Object::moveObjectOverEntireLifeTimeByPointValue(Point delta) {
    if (!std::isfinite(delta.x) || !std::isfinite(delta.y)) {
        logMessage("Refused a move that is not a finite distance.");
        return;
    }
    const StateList list = states();
    if (list.empty()) {
        if (auto* state = dynamic_cast<State*>(noneAnimationState().get())) state->moveByPointValue(delta);
    }
    for (const auto& member : list) {
        auto* state = dynamic_cast<State*>(member.get());
        if (state && state->hasRectOrScaling()) state->moveByPointValue(delta);
    }
    invalidate();
}

void Object::shiftToCenter() {
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return;
    const Size natural = originalSize();
    const Size canvas = container->canvasSize();
    if (!(natural.width < canvas.width && natural.height < canvas.height)) return;
    if (auto* state = dynamic_cast<State*>(noneAnimationState().get())) {
        state->moveByPointValue({roundedToFloat(canvas.width - natural.width) / 2.0,
                                 roundedToFloat(canvas.height - natural.height) / 2.0});
    }
    invalidate();
}

void Object::scaleToFitInCanvas() {
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return;
    const Size natural = originalSize();
    const Size canvas = container->canvasSize();
    if (!(natural.width >= canvas.width || natural.height >= canvas.height)) return;
    if (!(natural.width > 0 && natural.height > 0)) {
        logMessage("The object has no natural size to fit into the canvas.");
        return;
    }
    const float factor =
        roundedToFloat(std::min(canvas.width / natural.width, canvas.height / natural.height));
    setScalingFactor(factor, 0);
    Rect rect = rectForTime(0);
    rect.origin = {(canvas.width - rect.size.width) / 2, (canvas.height - rect.size.height) / 2};
    setRect(rect, 0);
}

void Object::revertAtTime(double compositionTime) {
    if (!std::isfinite(compositionTime)) {
        logMessage("Refused a time that is not a finite number.");
        return;
    }
    CompositionUndoManager* manager = undoManager();
    if (manager) manager->beginUndoGrouping();
    std::shared_ptr<CompositionBaseState> target = noneAnimationState();
    if (isAnimationEnabled()) {
        const double time = compositionTime - startTime();
        target = stateForTime(time, TimeTolerance::Exact);
        if (!target) {
            target = CompositionBaseObject::createNewStateForTime(time);
            if (auto* state = dynamic_cast<State*>(target.get()))
                state->setAnimationTimingKind(AnimationTimingKind::EaseInOut);
            addNewState(target);
        }
    }
    if (auto* state = dynamic_cast<State*>(target.get())) {
        const Size natural = originalSize();
        state->setRect(Rect(0, 0, natural.width, natural.height));
        state->setRotation(0);
        state->setOpacity(1);
        state->setXScalingFactor(1);
        state->setYScalingFactor(1);
    }
    invalidate();
    if (manager) manager->endUndoGrouping();
}

// --- Transitions

void Object::observeTransition(const std::shared_ptr<CompositionBaseObject>& transition,
                               const std::string& key, ObservableObject::Token& token) {
    std::weak_ptr<ObservableObject>& observed =
        &token == &fromTransitionObservation_ ? observedFromTransition_ : observedToTransition_;
    if (auto previous = observed.lock()) previous->removeObserver(token);
    token = 0;
    observed.reset();
    if (!transition) return;
    token = transition->addObserver(key, KeyValueObservingOptions::newValue, transitionContext(),
                                    [this](const KeyValueChange&) { transitionTimesChanged(); });
    observed = transition;
}

void Object::transitionTimesChanged() {
    NotificationCenter::defaultCenter().post(kObjectTransitionTimesChangedNotification, this);
}

void Object::setFromTransition(const std::shared_ptr<CompositionBaseObject>& transition) {
    if (transition && !transition->asTransition()) {
        logMessage("Refused a from-transition that is no transition.");
        return;
    }
    willChangeValueForKey("fromTransition");
    fromObjectTransition_ = transition;
    observeTransition(transition, "endTime", fromTransitionObservation_);
    didChangeValueForKey("fromTransition");
    transitionTimesChanged();
}

void Object::setToTransition(const std::shared_ptr<CompositionBaseObject>& transition) {
    if (transition && !transition->asTransition()) {
        logMessage("Refused a to-transition that is no transition.");
        return;
    }
    willChangeValueForKey("toTransition");
    toObjectTransition_ = transition;
    observeTransition(transition, "startTime", toTransitionObservation_);
    didChangeValueForKey("toTransition");
    transitionTimesChanged();
}

// --- Lifecycle

// The tracks anchored to this object let go of it, and every side's time becomes settable again.
void Object::unanchor() {
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return;
    if (auto track = container->objectTrackIsAnchoredToBefore(*this)) {
        if (MediaTrackCapability* media = track->asMediaTrack()) media->setBeforeAnchoredObject(nullptr);
        if (auto* rectangular = dynamic_cast<Object*>(track.get()))
            rectangular->setTimeCantManuallyBeSet(false);
    }
    if (auto track = container->objectTrackIsAnchoredToAfter(*this)) {
        if (MediaTrackCapability* media = track->asMediaTrack()) media->setAfterAnchoredObject(nullptr);
        if (auto* rectangular = dynamic_cast<Object*>(track.get()))
            rectangular->setTimeCantManuallyBeSet(false);
    }
    if (timeCantManuallyBeSet_) setTimeCantManuallyBeSet(false);
}

void Object::setContainerTrack(const std::shared_ptr<CompositionObjectsContainerTrack>& track) {
    if (track != containerTrack()) unanchor();
    CompositionBaseObject::setContainerTrack(track);
}

void Object::prepareForDeletion() {
    unanchor();
    CompositionObjectsContainer* container = compositionObjectsContainer();
    for (const auto& transition : {fromTransition(), toTransition()}) {
        if (transition && container) container->removeObject(transition.get());
    }
    auto self = std::static_pointer_cast<CompositionBaseObject>(shared_from_this());
    if (isAMask() || hasMask()) {
        if (!container) {
            logMessage("tried to deestablish mask-relation while objectscontainer was nil");
        } else {
            if (auto masked = maskForObject()) container->establishMaskRelation(nullptr, masked);
            if (hasMask()) container->establishMaskRelation(nullptr, self);
        }
    }
    CompositionBaseObject::prepareForDeletion();
}

void Object::tearDown() {
    maskForObject_.reset();
    maskObject_.reset();
    CompositionBaseObject::tearDown();
}

void Object::setUndoDisabled(bool disabled) {
    CompositionBaseObject::setUndoDisabled(disabled);
    if (auto state = noneAnimationState()) state->setUndoDisabled(disabled);
    for (const auto& state : states())
        state->setUndoDisabled(disabled);
}

void Object::copyValuesInto(CompositionBaseObject& base) const {
    CompositionBaseObject::copyValuesInto(base);
    // Transitions and mask relations belong to the original's place in the composition.
    if (auto* target = dynamic_cast<Object*>(&base)) {
        target->usesGlobalShadow_ = usesGlobalShadow_;
        target->userEffectOrder_ = userEffectOrder_;
        target->recacheNamesOfAllUsedEffects();
    }
}

std::shared_ptr<CompositionBaseObject>
Object::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionRectangularObject>(compositionObjectsContainer(), std::move(baseState));
}

void Object::performPostLoadSetup() {
    const auto& panes = propertyNames();
    if (drawsInPreviewView() && std::find(panes.begin(), panes.end(), kMaskPropertiesPane) == panes.end())
        addPropertyName(kMaskPropertiesPane);
    addPropertyName(kDependentObjectPane);
}

std::string Object::description() const {
    std::string text = CompositionBaseObject::description();
    char buffer[96];
    auto line = [&](const char* format, const void* pointer) {
        std::snprintf(buffer, sizeof buffer, format, pointer);
        text += buffer;
    };
    if (auto from = fromTransition()) line("\n fromTransition: %p", from.get());
    if (auto to = toTransition()) line("\n toTransition:   %p", to.get());
    if (auto mask = maskObject()) line("\n Mask:           %p", mask.get());
    if (auto masked = maskForObject()) line("\n Mask For:       %p", masked.get());
    text += "\n Non-Animation state: ";
    if (auto state = noneAnimationState()) text += state->description();
    if (hasTriggeredStates()) {
        text += "\n Triggered states: ";
        for (const auto& state : triggeredStates()) {
            std::snprintf(buffer, sizeof buffer, "%p ", static_cast<const void*>(state.get()));
            text += buffer;
        }
    }
    return text;
}

} // namespace vtl
