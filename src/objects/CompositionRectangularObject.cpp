// Animated attributes of CompositionRectangularObject: defaults, the blended getters, the setters
// that edit or create keyframes, the scaling derived from the natural size, keyframe filling and
// the transforms.

#include "objects/CompositionRectangularObject.h"

#include "drawing/GeometryFunctions.h"
#include "model/CompositionObjectsContainer.h"
#include "model/EffectFilterDescriptions.h"
#include "model/TimingCurves.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/SinglePrecision.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

using Object = CompositionRectangularObject;
using State = CompositionRectangularState;

// The group names as strings made once: the per-frame reads pass them without allocating.
const std::string& rectGroup() {
    static const std::string name = kGroupRectOrScaling;
    return name;
}
const std::string& opacityGroup() {
    static const std::string name = kGroupOpacity;
    return name;
}
const std::string& rotationGroup() {
    static const std::string name = kGroupRotation;
    return name;
}
const std::string& frameGroup() {
    static const std::string name = kGroupFrame;
    return name;
}

constexpr Size defaultCanvasSize{1280, 720};

double mix(double from, double to, double progress) {
    return from + (to - from) * progress;
}

RGBAColor blendColors(const RGBAColor& a, const RGBAColor& b, double progress) {
    return RGBAColor{mix(a.red, b.red, progress), mix(a.green, b.green, progress),
                     mix(a.blue, b.blue, progress), mix(a.alpha, b.alpha, progress), a.deviceRGB};
}

// Setters keep the object as it was when a value is not a number or infinite.
bool refusesNonFinite(std::initializer_list<double> values, const char* what) {
    for (double value : values) {
        if (!std::isfinite(value)) {
            logMessage(std::string("Refused a value that is not a finite number for ") + what + ".");
            return true;
        }
    }
    return false;
}

bool isUsableLength(double length) {
    return std::isfinite(length) && length != 0;
}

} // namespace

const ModelKeyTable<CompositionRectangularObject>& Object::keyValueTable() {
    static const auto table =
        ModelKeyTable<Object>()
            .undoable("fromTransition", &Object::fromTransition, &Object::setFromTransition)
            .undoable("toTransition", &Object::toTransition, &Object::setToTransition)
            .undoable("usesGlobalShadow", &Object::usesGlobalShadow, &Object::setUsesGlobalShadow)
            .property("timeCantManuallyBeSet", &Object::timeCantManuallyBeSet,
                      &Object::setTimeCantManuallyBeSet);
    return table;
}

Object::CompositionRectangularObject(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {}

Object::CompositionRectangularObject(CompositionObjectsContainer* container,
                                     std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState)) {}

void Object::didConstruct() {
    const bool isNew = noneAnimationState() == nullptr;
    CompositionBaseObject::didConstruct();
    if (isNew) applyDefaults();
    // The observations end with the object, which owns them.
    static const int ownTimesContext = 0;
    for (const char* key : {"startTime", "endTime", "movieStartTime", "movieEndTime"})
        addObserver(key, KeyValueObservingOptions::newValue, &ownTimesContext,
                    [this](const KeyValueChange&) { ownTimesChanged(); });
}

// The defaults land in the none-animation state (animation is off). A new object is not part of
// the composition yet, so they register no undo.
void Object::applyDefaults() {
    const bool wasDisabled = undoDisabled();
    CompositionUndoObject::setUndoDisabled(true);
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    const Size canvas = container ? container->canvasSize() : defaultCanvasSize;
    setRect(Rect(0, 0, canvas.width, canvas.height), 0);
    setRotation(0, 0);
    setShadowAngle(180, 0);
    setShadowColor(defaultShadowColor(), 0);
    setShadowDistance(5, 0);
    setShadowOpacity(0.5f, 0);
    setShadowRadius(5, 0);
    setFrameColor(defaultFrameColor(), 0);
    setFrameThickness(5, 0);
    setDrawsFrame(false, 0);
    setDrawsShadow(false, 0);
    CompositionUndoObject::setUndoDisabled(wasDisabled);
}

std::shared_ptr<CompositionBaseState> Object::newStateOfStateClass() {
    return makeModelObject<CompositionRectangularState>(this);
}

// --- Reading

Object::Bracket Object::bracketAt(double compositionTime, const std::string& group) const {
    Bracket result;
    const GroupBracket found = bracketForAttributeGroup(compositionTime - startTime(), group);
    result.from = dynamic_cast<const State*>(found.from);
    if (!result.from) {
        // No keyframes (or a keyframe of another class in a damaged archive): the none-animation state.
        result.from = dynamic_cast<const State*>(noneAnimationState().get());
        return result;
    }
    result.to = dynamic_cast<const State*>(found.to);
    if (!result.to) return result;
    // The earlier keyframe's curve governs the stretch to the next one.
    const double start = startTime();
    result.progress = animationProgressFromTimes(result.from->animationTimingKind(), compositionTime,
                                                 start + result.from->time(), start + result.to->time());
    return result;
}

template <typename Value>
float Object::blendedFloat(double compositionTime, const std::string& group, Value value,
                           float fallback) const {
    RecursiveMutexLock lock(statesLock());
    const Bracket b = bracketAt(compositionTime, group);
    if (!b.from) return fallback;
    const double a = (b.from->*value)();
    if (!b.to) return static_cast<float>(a);
    return static_cast<float>(mix(a, (b.to->*value)(), b.progress));
}

RGBAColor Object::blendedColor(double compositionTime, const std::string& group,
                               const std::optional<RGBAColor>& (State::*value)() const,
                               const RGBAColor& fallback) const {
    RecursiveMutexLock lock(statesLock());
    const Bracket b = bracketAt(compositionTime, group);
    if (!b.from) return fallback;
    const RGBAColor a = (b.from->*value)().value_or(fallback);
    if (!b.to) return a;
    return blendColors(a, (b.to->*value)().value_or(a), b.progress);
}

bool Object::firstFoundFlag(double compositionTime, const std::string& group,
                            bool (State::*value)() const) const {
    RecursiveMutexLock lock(statesLock());
    const Bracket b = bracketAt(compositionTime, group);
    return b.from && (b.from->*value)();
}

Rect Object::rectForTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const Bracket b = bracketAt(compositionTime, rectGroup());
    if (!b.from) return Rect();
    const Rect a = b.from->rect();
    if (!b.to) return a;
    const Rect c = b.to->rect();
    const double p = b.progress;
    return Rect(mix(a.origin.x, c.origin.x, p), mix(a.origin.y, c.origin.y, p),
                mix(a.size.width, c.size.width, p), mix(a.size.height, c.size.height, p));
}

float Object::xPositionForTime(double compositionTime) const {
    return blendedFloat(compositionTime, rectGroup(), &State::xPosition, 0.0f);
}

float Object::yPositionForTime(double compositionTime) const {
    return blendedFloat(compositionTime, rectGroup(), &State::yPosition, 0.0f);
}

float Object::opacityForTime(double compositionTime) const {
    return blendedFloat(compositionTime, opacityGroup(), &State::opacity, 1.0f);
}

float Object::rotationForTime(double compositionTime) const {
    return blendedFloat(compositionTime, rotationGroup(), &State::rotation, 0.0f);
}

float Object::frameThicknessForTime(double compositionTime) const {
    return blendedFloat(compositionTime, frameGroup(), &State::frameThickness, 0.0f);
}

RGBAColor Object::frameColorForTime(double compositionTime) const {
    return blendedColor(compositionTime, frameGroup(), &State::frameColor, defaultFrameColor());
}

bool Object::drawsFrameAtTime(double compositionTime) const {
    return firstFoundFlag(compositionTime, frameGroup(), &State::drawsFrame);
}

RGBAColor Object::shadowColorForTime(double compositionTime) const {
    if (usesGlobalShadow_) {
        if (const CompositionObjectsContainer* container = compositionObjectsContainer())
            return container->globalShadowColor();
    }
    return blendedColor(compositionTime, frameGroup(), &State::shadowColor, defaultShadowColor());
}

float Object::shadowOpacityForTime(double compositionTime) const {
    if (usesGlobalShadow_) {
        if (const CompositionObjectsContainer* container = compositionObjectsContainer())
            return container->globalShadowOpacity();
    }
    return blendedFloat(compositionTime, frameGroup(), &State::shadowOpacity, 0.0f);
}

float Object::shadowRadiusForTime(double compositionTime) const {
    if (usesGlobalShadow_) {
        if (const CompositionObjectsContainer* container = compositionObjectsContainer())
            return container->globalShadowRadius();
    }
    return blendedFloat(compositionTime, frameGroup(), &State::shadowRadius, 0.0f);
}

float Object::shadowDistanceForTime(double compositionTime) const {
    if (usesGlobalShadow_) {
        if (const CompositionObjectsContainer* container = compositionObjectsContainer())
            return container->globalShadowDistance();
    }
    return blendedFloat(compositionTime, frameGroup(), &State::shadowDistance, 0.0f);
}

float Object::shadowAngleForTime(double compositionTime) const {
    if (usesGlobalShadow_) {
        if (const CompositionObjectsContainer* container = compositionObjectsContainer())
            return container->globalShadowAngle();
    }
    return blendedFloat(compositionTime, frameGroup(), &State::shadowAngle, 0.0f);
}

bool Object::drawsShadowAtTime(double compositionTime) const {
    return firstFoundFlag(compositionTime, frameGroup(), &State::drawsShadow);
}

float Object::cornerRadiusForTime(double compositionTime) const {
    const float radius = blendedFloat(compositionTime, frameGroup(), &State::cornerRadius, 0.0f);
    const Rect rect = rectForTime(compositionTime);
    const float byHeight = roundedToFloat(yScalingFactorForTime(compositionTime) * (rect.size.height / 2));
    const float byWidth = roundedToFloat(xScalingFactorForTime(compositionTime) * (rect.size.width / 2));
    return std::min({radius, byHeight, byWidth});
}

// --- Writing

template <typename Write>
void Object::writeAttribute(double compositionTime, const std::string& group, Lookup lookup, NewKeyframe fill,
                            Write&& write) {
    if (isAnimationEnabled()) {
        const double time = compositionTime - startTime();
        std::shared_ptr<CompositionBaseState> found = stateForTimeForAttributeGroupNamed(
            time, lookup == Lookup::Exact ? TimeTolerance::Exact : TimeTolerance::Loose, group);
        if (auto* state = dynamic_cast<State*>(found.get())) {
            write(*state);
        } else {
            std::shared_ptr<CompositionBaseState> created = createNewStateForTime(
                time, group,
                fill == NewKeyframe::Interpolated ? NewStateValues::Interpolated : NewStateValues::Empty);
            auto* fresh = dynamic_cast<State*>(created.get());
            if (!fresh) return;
            if (fill == NewKeyframe::EmptyThenFilled)
                fillStateWithInterpolatedValuesForTime(*fresh, compositionTime);
            write(*fresh);
            addNewState(created);
        }
    } else if (auto* state = dynamic_cast<State*>(noneAnimationState().get())) {
        write(*state);
    }
    invalidate();
}

void Object::setRect(const Rect& rect, double compositionTime) {
    if (refusesNonFinite({rect.origin.x, rect.origin.y, rect.size.width, rect.size.height, compositionTime},
                         "a rect"))
        return;
    writeAttribute(compositionTime, rectGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setRect(rect); });
}

void Object::setXPosition(float x, double compositionTime) {
    if (refusesNonFinite({x, compositionTime}, "a position")) return;
    writeAttribute(compositionTime, rectGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setXPosition(x); });
}

void Object::setYPosition(float y, double compositionTime) {
    if (refusesNonFinite({y, compositionTime}, "a position")) return;
    writeAttribute(compositionTime, rectGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setYPosition(y); });
}

void Object::setOpacity(float opacity, double compositionTime) {
    if (refusesNonFinite({opacity, compositionTime}, "the opacity")) return;
    writeAttribute(compositionTime, opacityGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setOpacity(opacity); });
}

void Object::setOpacityForExactTime(float opacity, double compositionTime) {
    if (refusesNonFinite({opacity, compositionTime}, "the opacity")) return;
    writeAttribute(compositionTime, opacityGroup(), Lookup::Exact, NewKeyframe::Interpolated,
                   [&](State& state) { state.setOpacity(opacity); });
}

void Object::setRotation(float degrees, double compositionTime) {
    if (refusesNonFinite({degrees, compositionTime}, "the rotation")) return;
    writeAttribute(compositionTime, rotationGroup(), Lookup::Loose, NewKeyframe::Empty,
                   [&](State& state) { state.setRotation(degrees); });
}

void Object::setFrameThickness(float thickness, double compositionTime) {
    if (refusesNonFinite({thickness, compositionTime}, "the frame thickness")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setFrameThickness(thickness); });
}

void Object::setFrameColor(const RGBAColor& color, double compositionTime) {
    if (refusesNonFinite({color.red, color.green, color.blue, color.alpha, compositionTime},
                         "the frame colour"))
        return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setFrameColor(color); });
}

void Object::setDrawsFrame(bool draws, double compositionTime) {
    if (refusesNonFinite({compositionTime}, "the frame switch")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setDrawsFrame(draws); });
}

void Object::setShadowColor(const RGBAColor& color, double compositionTime) {
    if (refusesNonFinite({color.red, color.green, color.blue, color.alpha, compositionTime},
                         "the shadow colour"))
        return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::EmptyThenFilled,
                   [&](State& state) { state.setShadowColor(color); });
}

void Object::setShadowOpacity(float opacity, double compositionTime) {
    if (refusesNonFinite({opacity, compositionTime}, "the shadow opacity")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::EmptyThenFilled,
                   [&](State& state) { state.setShadowOpacity(opacity); });
}

void Object::setShadowRadius(float radius, double compositionTime) {
    if (refusesNonFinite({radius, compositionTime}, "the shadow radius")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::EmptyThenFilled,
                   [&](State& state) { state.setShadowRadius(radius); });
}

void Object::setShadowDistance(float distance, double compositionTime) {
    if (refusesNonFinite({distance, compositionTime}, "the shadow distance")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::EmptyThenFilled,
                   [&](State& state) { state.setShadowDistance(distance); });
}

void Object::setShadowAngle(float degrees, double compositionTime) {
    if (refusesNonFinite({degrees, compositionTime}, "the shadow angle")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::EmptyThenFilled,
                   [&](State& state) { state.setShadowAngle(degrees); });
}

void Object::setDrawsShadow(bool draws, double compositionTime) {
    if (refusesNonFinite({compositionTime}, "the shadow switch")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setDrawsShadow(draws); });
}

void Object::setCornerRadius(float radius, double compositionTime) {
    if (refusesNonFinite({radius, compositionTime}, "the corner radius")) return;
    writeAttribute(compositionTime, frameGroup(), Lookup::Loose, NewKeyframe::Interpolated,
                   [&](State& state) { state.setCornerRadius(radius); });
}

void Object::setUsesGlobalShadow(bool uses) {
    setObservedValue("usesGlobalShadow", usesGlobalShadow_, uses);
    invalidate();
}

// --- Scaling

double Object::xScalingFactorForTime(double compositionTime) const {
    const double natural = originalSize().width;
    if (!isUsableLength(natural)) return 1.0;
    return rectForTime(compositionTime).size.width / natural;
}

double Object::yScalingFactorForTime(double compositionTime) const {
    const double natural = originalSize().height;
    if (!isUsableLength(natural)) return 1.0;
    return rectForTime(compositionTime).size.height / natural;
}

double Object::ratioForTime(double compositionTime) const {
    const double x = xScalingFactorForTime(compositionTime);
    if (!isUsableLength(x)) return 1.0;
    return yScalingFactorForTime(compositionTime) / x;
}

void Object::setXScalingFactor(double factor, double compositionTime) {
    if (refusesNonFinite({factor, compositionTime}, "the scaling")) return;
    const double natural = originalSize().width;
    if (!isUsableLength(natural)) {
        logMessage("The object has no natural width; its horizontal scaling stays as it is.");
        return;
    }
    const double clamped = factor > minimumScalingFactor ? factor : minimumScalingFactor;
    const float width = roundedToFloat(natural * clamped);
    Rect rect = rectForTime(compositionTime);
    rect.origin.x += roundedToFloat((rect.size.width - width) / 2);
    rect.size.width = width;
    setRect(rect, compositionTime);
}

void Object::setYScalingFactor(double factor, double compositionTime) {
    if (refusesNonFinite({factor, compositionTime}, "the scaling")) return;
    const double natural = originalSize().height;
    if (!isUsableLength(natural)) {
        logMessage("The object has no natural height; its vertical scaling stays as it is.");
        return;
    }
    const double clamped = factor > minimumScalingFactor ? factor : minimumScalingFactor;
    const float height = roundedToFloat(natural * clamped);
    Rect rect = rectForTime(compositionTime);
    rect.origin.y += roundedToFloat((rect.size.height - height) / 2);
    rect.size.height = height;
    setRect(rect, compositionTime);
}

void Object::setScalingFactor(double factor, double compositionTime) {
    if (refusesNonFinite({factor, compositionTime}, "the scaling")) return;
    const double clamped = factor > minimumScalingFactor ? factor : minimumScalingFactor;
    const double ratio = ratioForTime(compositionTime);
    setXScalingFactor(clamped, compositionTime);
    setYScalingFactor(ratio * clamped, compositionTime);
}

void Object::setRatio(double ratio, double compositionTime) {
    if (refusesNonFinite({ratio, compositionTime}, "the ratio")) return;
    setYScalingFactor(xScalingFactorForTime(compositionTime) * ratio, compositionTime);
}

void Object::increaseXBy(float delta, double compositionTime) {
    if (refusesNonFinite({delta, compositionTime}, "a position")) return;
    setXPosition(xPositionForTime(compositionTime) + delta, compositionTime);
}

void Object::increaseYBy(float delta, double compositionTime) {
    if (refusesNonFinite({delta, compositionTime}, "a position")) return;
    setYPosition(yPositionForTime(compositionTime) + delta, compositionTime);
}

// --- Keyframes

std::shared_ptr<CompositionBaseState>
Object::createNewStateForTime(double objectTime, const std::string& group, NewStateValues values) {
    std::shared_ptr<CompositionBaseState> state =
        CompositionBaseObject::createNewStateForTime(objectTime, values);
    if (auto* rectangular = dynamic_cast<State*>(state.get())) {
        rectangular->disableAllAnimationPropertiesExcept(group);
        rectangular->setAnimationTimingKind(AnimationTimingKind::EaseInOut);
    }
    return state;
}

void Object::fillStateWithInterpolatedValuesForTime(CompositionBaseState& base, double compositionTime) {
    auto* state = dynamic_cast<State*>(&base);
    if (state && isAnimationEnabled()) {
        // Everything is read before anything is written, so a keyframe of the list that is being
        // filled does not feed its own half-written values back.
        const Rect rect = rectForTime(compositionTime);
        const float opacity = opacityForTime(compositionTime);
        const float rotation = rotationForTime(compositionTime);
        const float frameThickness = frameThicknessForTime(compositionTime);
        const RGBAColor frameColor = frameColorForTime(compositionTime);
        const RGBAColor shadowColor = shadowColorForTime(compositionTime);
        const float shadowRadius = shadowRadiusForTime(compositionTime);
        const float shadowOpacity = shadowOpacityForTime(compositionTime);
        const float shadowDistance = shadowDistanceForTime(compositionTime);
        const float shadowAngle = shadowAngleForTime(compositionTime);
        const bool drawsFrame = drawsFrameAtTime(compositionTime);
        const bool drawsShadow = drawsShadowAtTime(compositionTime);
        const double xScaling = xScalingFactorForTime(compositionTime);
        const double yScaling = yScalingFactorForTime(compositionTime);
        const float cornerRadius = cornerRadiusForTime(compositionTime);
        state->setRect(rect);
        state->setOpacity(opacity);
        state->setRotation(rotation);
        state->setFrameThickness(frameThickness);
        state->setFrameColor(frameColor);
        state->setShadowColor(shadowColor);
        state->setShadowRadius(shadowRadius);
        state->setShadowOpacity(shadowOpacity);
        state->setShadowDistance(shadowDistance);
        state->setShadowAngle(shadowAngle);
        state->setDrawsFrame(drawsFrame);
        state->setDrawsShadow(drawsShadow);
        state->setXScalingFactor(xScaling);
        state->setYScalingFactor(yScaling);
        state->setCornerRadius(cornerRadius);
        for (const std::string& group : namesOfAllUsedEffects()) {
            const std::string effectName = CompositionBaseState::effectNameForGroup(group);
            if (effectName.empty()) continue;
            state->setEmptyEffectValuesForEffectNamed(effectName);
            for (const std::string& attribute :
                 configuredAttributesForFilterWithName(effectName, compositionTime)) {
                const FilterAttributeDescription* description =
                    attributeDescriptionForAttribute(attribute, effectName);
                if (!description) continue;
                if (description->attributeClass == kFilterAttributeClassNumber) {
                    const float value = floatForEffectNamed(effectName, attribute, compositionTime);
                    state->storeEffectValue(effectName, attribute, PropertyList(static_cast<double>(value)));
                } else if (description->attributeClass == kFilterAttributeClassColor) {
                    const RGBAColor value = colorForEffectNamed(effectName, attribute, compositionTime);
                    state->storeEffectValue(effectName, attribute, PropertyList(effectColorText(value)));
                }
            }
            if (filterHasAttribute(effectName, "inputCenter"))
                state->setCenterForEffectNamed(centerForEffectAtTime(effectName, compositionTime),
                                               effectName);
            bool valid = false;
            const Rect mask = maskForEffectAtTime(effectName, compositionTime, &valid);
            if (valid) state->setMaskForEffectNamed(mask, effectName);
        }
    }
    CompositionBaseObject::fillStateWithInterpolatedValuesForTime(base, compositionTime);
}

std::vector<std::string> Object::configuredAttributesForFilterWithName(const std::string& effectName,
                                                                       double compositionTime) const {
    std::vector<std::string> names;
    for (const auto& state :
         findStatesToInterpolateForTimeForEffectNamed(compositionTime - startTime(), effectName)) {
        const PlistDictionary* values = state ? state->effectValuesForEffectNamed(effectName) : nullptr;
        if (!values) continue;
        for (const auto& [attribute, value] : *values) {
            if (std::find(names.begin(), names.end(), attribute) == names.end()) names.push_back(attribute);
        }
    }
    return names;
}

StateList Object::findStatesToInterpolateForTimeForEffectNamed(double time,
                                                               const std::string& effectName) const {
    if (!isAnimationEnabled()) return {noneAnimationState()};
    if (countOfStates() == 0) return {};
    if (auto exact = stateForTimeForEffectNamed(time, TimeTolerance::Exact, effectName)) return {exact};
    StateList found =
        bracketStatesInList(statesForEffectNamed(effectName, NoneAnimationState::Include), time);
    if (found.size() == 2) {
        auto* earlier = dynamic_cast<const State*>(found.front().get());
        if (earlier && earlier->endMarkerForAttributeGroupNamed(effectName)) found.erase(found.begin());
    }
    return found;
}

std::vector<std::string> Object::namesOfGroupedAnimationAttributes() const {
    std::vector<std::string> names = VisualCapability::namesOfGroupedAnimationAttributes();
    names.insert(names.end(), {rectGroup(), opacityGroup(), rotationGroup(), frameGroup()});
    const auto& effects = namesOfAllUsedEffects();
    names.insert(names.end(), effects.begin(), effects.end());
    return names;
}

// --- Transforms

std::optional<AffineTransform> Object::compositingTransformWithRect(const Rect& rect,
                                                                    double compositionTime) const {
    return scaleAtZeroAndRotateAtPointTransform(rect.center(), 1, 1, rotationForTime(compositionTime));
}

std::optional<AffineTransform> Object::rotateAndScaleAtTime(double compositionTime, const Rect& rect,
                                                            double xScaling, double yScaling) const {
    return scaleAtZeroAndRotateAtPointTransform(rect.center(), static_cast<float>(xScaling),
                                                static_cast<float>(yScaling),
                                                rotationForTime(compositionTime));
}

std::optional<AffineTransform> Object::handleTransformAtTime(double compositionTime, const Rect& rect) const {
    return scaleAndRotateAtPointTransform(rect.center(), 1, 1, rotationForTime(compositionTime));
}

} // namespace vtl
