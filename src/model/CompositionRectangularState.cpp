#include "model/CompositionRectangularState.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionModelNotifications.h"
#include "model/CompositionUndoManager.h"
#include "model/VisualCapability.h"
#include "platform/foundation/NotificationCenter.h"

#include <cstdio>

namespace vtl {

namespace {

using State = CompositionRectangularState;

const char* carried(bool flag) {
    return flag ? "+" : "-";
}

} // namespace

const ModelKeyTable<CompositionRectangularState>& CompositionRectangularState::keyValueTable() {
    static const auto table =
        ModelKeyTable<State>()
            .undoable("animationTimingKind", &State::animationTimingKind, &State::setAnimationTimingKind)
            .undoable("xScalingFactor", &State::xScalingFactor, &State::setXScalingFactor)
            .undoable("yScalingFactor", &State::yScalingFactor, &State::setYScalingFactor)
            .undoable("rect", &State::rect, &State::setRect)
            .undoable("opacity", &State::opacity, &State::setOpacity)
            .undoable("rotation", &State::rotation, &State::setRotation)
            .undoable("frameThickness", &State::frameThickness, &State::setFrameThickness)
            .undoable("frameColor", &State::frameColor, &State::setFrameColor)
            .undoable("shadowColor", &State::shadowColor, &State::setShadowColor)
            .undoable("shadowOpacity", &State::shadowOpacity, &State::setShadowOpacity)
            .undoable("shadowRadius", &State::shadowRadius, &State::setShadowRadius)
            .undoable("shadowAngle", &State::shadowAngle, &State::setShadowAngle)
            .undoable("shadowDistance", &State::shadowDistance, &State::setShadowDistance)
            // The optional form, so an undo can take the group away again.
            .undoable("cornerRadius", &State::cornerRadiusNumber, &State::setCornerRadiusNumber)
            .undoable("drawsFrame", &State::drawsFrame, &State::setDrawsFrame)
            .undoable("drawsShadow", &State::drawsShadow, &State::setDrawsShadow)
            .undoable("drawsBackground", &State::drawsBackground, &State::setDrawsBackground)
            .undoable("backgroundColor", &State::backgroundColor, &State::setBackgroundColor)
            .undoable("rectObject", &State::rectObject, &State::setRectObject)
            .undoable("opacityNumber", &State::opacityNumber, &State::setOpacityNumber)
            .undoable("rotationNumber", &State::rotationNumber, &State::setRotationNumber)
            .undoable("frameThicknessNumber", &State::frameThicknessNumber, &State::setFrameThicknessNumber)
            .property("endMarkerForAnyEffect", &State::endMarkerForAnyEffect, nullptr)
            .property("startMarkerForAnyEffect", &State::startMarkerForAnyEffect, nullptr);
    return table;
}

CompositionRectangularState::CompositionRectangularState(CompositionBaseObject* owner)
    : ModelKeyCoding(owner) {
    frameColor_ = RGBAColor::device(1, 0, 0, 1);
    shadowColor_ = RGBAColor::device(0, 0, 0, 1);
    if (owner) setUndoDisabled(owner->undoDisabled());
    opacityNumber_ = 1.0f;
}

// The plain accessors report their change under the optional's key, so one undo step restores
// "no value" as well as a value.
void State::setAnimationTimingKind(AnimationTimingKind kind) {
    setObservedValue("animationTimingKind", timingKind_, kind);
}
void State::setRectObject(const std::optional<Rect>& rect) {
    setObservedValue("rectObject", rectValue_, rect);
}
void State::setRect(const Rect& rect) {
    if (rect.size.width == 0 || rect.size.height == 0) return;
    setRectObject(rect);
}
Rect State::scaledRect() const {
    Rect r = rect();
    return Rect(r.origin, Size{r.size.width * xScalingFactor_, r.size.height * yScalingFactor_});
}
void State::setXPosition(float x) {
    if (!rectValue_) return;
    Rect r = *rectValue_;
    r.origin.x = x;
    setRect(r);
}
void State::setYPosition(float y) {
    if (!rectValue_) return;
    Rect r = *rectValue_;
    r.origin.y = y;
    setRect(r);
}
void State::moveByPointValue(Point delta) {
    setRect(rect().offsetBy(delta.x, delta.y));
}
void State::setOpacityNumber(const std::optional<float>& value) {
    setObservedValue("opacityNumber", opacityNumber_, value);
}
void State::setRotationNumber(const std::optional<float>& value) {
    setObservedValue("rotationNumber", rotationNumber_, value);
}
void State::setFrameThicknessNumber(const std::optional<float>& value) {
    setObservedValue("frameThicknessNumber", frameThicknessNumber_, value);
}
void State::setCornerRadiusNumber(const std::optional<float>& value) {
    setObservedValue("cornerRadius", cornerRadiusNumber_, value);
}
void State::setXScalingFactor(double factor) {
    setObservedValue("xScalingFactor", xScalingFactor_, factor);
}
void State::setYScalingFactor(double factor) {
    setObservedValue("yScalingFactor", yScalingFactor_, factor);
}
void State::setFrameColor(const std::optional<RGBAColor>& color) {
    setObservedValue("frameColor", frameColor_, color);
}
void State::setShadowColor(const std::optional<RGBAColor>& color) {
    setObservedValue("shadowColor", shadowColor_, color);
}
void State::setBackgroundColor(const std::optional<RGBAColor>& color) {
    setObservedValue("backgroundColor", backgroundColor_, color);
}
void State::setShadowOpacity(float value) {
    setObservedValue("shadowOpacity", shadowOpacity_, value);
}
void State::setShadowRadius(float value) {
    setObservedValue("shadowRadius", shadowRadius_, value);
}
void State::setShadowAngle(float value) {
    setObservedValue("shadowAngle", shadowAngle_, value);
}
void State::setShadowDistance(float value) {
    setObservedValue("shadowDistance", shadowDistance_, value);
}
void State::setDrawsFrame(bool value) {
    setObservedValue("drawsFrame", drawsFrame_, value);
}
void State::setDrawsShadow(bool value) {
    setObservedValue("drawsShadow", drawsShadow_, value);
}
void State::setDrawsBackground(bool value) {
    setObservedValue("drawsBackground", drawsBackground_, value);
}

bool State::carriesAttributeGroup(const std::string& group) const {
    if (group == kGroupRectOrScaling) return hasRectOrScaling();
    if (group == kGroupOpacity) return hasOpacity();
    if (group == kGroupRotation) return hasRotation();
    if (group == kGroupFrame) return hasFrame();
    if (group == "hasShadow") return hasShadow();
    return false;
}

void State::disableAllAnimationProperties() {
    disableAllAnimationPropertiesExcept({});
}

void State::disableAllAnimationPropertiesExcept(const std::string& group) {
    if (group != kGroupRectOrScaling) setRectObject(std::nullopt);
    if (group != kGroupOpacity) setOpacityNumber(std::nullopt);
    if (group != kGroupRotation) setRotationNumber(std::nullopt);
    if (group != kGroupFrame) setFrameThicknessNumber(std::nullopt);
}

void State::enableAnimationsForAnimationProperty(const std::string& group) {
    const VisualCapability* owner = baseObject() ? baseObject()->asVisual() : nullptr;
    if (!owner || carriesAttributeGroup(group)) return;
    const double at = baseObject()->startTime() + time();
    if (group == kGroupRectOrScaling) {
        setRect(owner->rectForTime(at));
    } else if (group == kGroupOpacity) {
        setOpacity(owner->opacityForTime(at));
    } else if (group == kGroupRotation) {
        setRotation(owner->rotationForTime(at));
    } else if (group == kGroupFrame) {
        setFrameThickness(owner->frameThicknessForTime(at));
    }
}

void State::scaleStateByFactor(double factor) {
    if (rectValue_) {
        const Rect r = *rectValue_;
        setRectObject(
            Rect(r.origin.x * factor, r.origin.y * factor, r.size.width * factor, r.size.height * factor));
        const float f = static_cast<float>(factor);
        setXScalingFactor(static_cast<float>(xScalingFactor_) * f);
        setYScalingFactor(static_cast<float>(yScalingFactor_) * f);
    }
    const float f = static_cast<float>(factor);
    setShadowDistance(shadowDistance_ * f);
    setShadowRadius(shadowRadius_ * f);
}

bool State::isDuringATransition() const {
    const VisualCapability* owner = baseObject() ? baseObject()->asVisual() : nullptr;
    return owner && owner->stateIsDuringTransition(*this);
}

bool State::endMarkerForAttributeGroupNamed(const std::string& effectName) const {
    const PlistDictionary* values = effectValuesForEffectNamed(effectName);
    if (!values) return false;
    const PropertyList* marker = values->find(kEffectEndMarkerKey);
    return marker && marker->boolValue().value_or(false);
}

void State::setEndMarker(bool flag, const std::string& effectName) {
    willChangeValueForKey("endMarkerForAnyEffect");
    if (CompositionUndoManager* manager = acceptsUndoRegistration() ? undoManager() : nullptr) {
        if (auto self = std::dynamic_pointer_cast<State>(shared_from_this())) {
            const bool previous = endMarkerForAttributeGroupNamed(effectName);
            manager->registerUndo(this,
                                  [self, previous, effectName] { self->setEndMarker(previous, effectName); });
        }
    }
    if (const PlistDictionary* values = effectValuesForEffectNamed(effectName)) {
        PlistDictionary changed = *values;
        changed.set(kEffectEndMarkerKey, PropertyList(flag));
        setEffectValuesForEffectNamed(changed, effectName);
    }
    if (baseObject()) baseObject()->invalidate();
    didChangeValueForKey("endMarkerForAnyEffect");
    if (CompositionBaseObject* owner = baseObject()) {
        StateList list = owner->states();
        for (std::size_t i = 0; i + 1 < list.size(); ++i) {
            if (list[i].get() == this) {
                list[i + 1]->willChangeValueForKey("startMarkerForAnyEffect");
                list[i + 1]->didChangeValueForKey("startMarkerForAnyEffect");
                break;
            }
        }
    }
}

bool State::endMarkerForAnyEffect() const {
    for (const EffectEntry& entry : effects()) {
        const PropertyList* name = entry.find("name");
        if (name && name->stringValue() && endMarkerForAttributeGroupNamed(*name->stringValue())) return true;
    }
    return false;
}

bool State::startMarkerForAttributeGroupNamed(const std::string& effectName) const {
    CompositionBaseObject* owner = baseObject();
    if (!owner) return false;
    StateList carrying = owner->statesForEffectNamed(effectName, NoneAnimationState::Exclude);
    for (std::size_t i = 0; i < carrying.size(); ++i) {
        if (carrying[i].get() != this) continue;
        if (i == 0) return true;
        auto* previous = dynamic_cast<const State*>(carrying[i - 1].get());
        return previous && previous->endMarkerForAttributeGroupNamed(effectName);
    }
    return false;
}

bool State::startMarkerForAnyEffect() const {
    for (const auto& entry : effectValues()) {
        if (startMarkerForAttributeGroupNamed(entry.first)) return true;
    }
    return false;
}

void State::updateAfterUndo() {
    NotificationCenter::defaultCenter().post(kRectangularStateDidUndoChangeNotification, this);
    CompositionBaseState::updateAfterUndo();
}

std::shared_ptr<CompositionBaseState> State::makeEmptyCopy() const {
    return makeModelObject<CompositionRectangularState>(baseObject());
}

void State::copyValuesInto(CompositionBaseState& base) const {
    CompositionBaseState::copyValuesInto(base);
    auto& target = static_cast<State&>(base);
    target.timingKind_ = timingKind_;
    target.rectValue_ = rectValue_;
    target.opacityNumber_ = opacityNumber_;
    target.rotationNumber_ = rotationNumber_;
    target.frameThicknessNumber_ = frameThicknessNumber_;
    target.cornerRadiusNumber_ = cornerRadiusNumber_;
    target.xScalingFactor_ = xScalingFactor_;
    target.yScalingFactor_ = yScalingFactor_;
    target.frameColor_ = frameColor_;
    target.shadowColor_ = shadowColor_;
    target.backgroundColor_ = backgroundColor_;
    target.shadowOpacity_ = shadowOpacity_;
    target.shadowRadius_ = shadowRadius_;
    target.shadowAngle_ = shadowAngle_;
    target.shadowDistance_ = shadowDistance_;
    target.drawsFrame_ = drawsFrame_;
    target.drawsShadow_ = drawsShadow_;
    target.drawsBackground_ = drawsBackground_;
}

std::string State::descriptionDetails() const {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "\n  %s  Rect    %s\n  %s  Scaling %1.1f x %1.1f\n  %s  Opacity %f",
                  carried(hasRectOrScaling()), stringFromRect(rect()).c_str(), carried(hasRectOrScaling()),
                  xScalingFactor_, yScalingFactor_, carried(hasOpacity()), opacity());
    return buffer;
}

} // namespace vtl
