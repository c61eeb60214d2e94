// Effect operations of timeline objects: which keyframe carries an effect at a time, adding
// effects, keyframing their values, and interpolating them along the keyframes' timing curves.

#include "model/CompositionBaseObject.h"
#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "model/EffectFilterDescriptions.h"
#include "model/TimingCurves.h"
#include "platform/foundation/NotificationCenter.h"

#include <algorithm>

namespace vtl {

namespace {

using Object = CompositionBaseObject;

std::string entryName(const EffectEntry& entry) {
    const PropertyList* name = entry.find("name");
    return name && name->stringValue() ? *name->stringValue() : std::string();
}

bool isAudioEntry(const EffectEntry& entry) {
    const PropertyList* audio = entry.find("audio");
    return audio && audio->boolValue().value_or(false);
}

EffectEntry entryNamed(const std::string& effectName) {
    return EffectEntry{{"name", PropertyList(effectName)}};
}

} // namespace

// --- Names of used effects

std::string Object::objectInNamesOfAllUsedEffectsAtIndex(std::size_t index) const {
    return index < namesOfAllUsedEffects_.size() ? namesOfAllUsedEffects_[index] : std::string();
}

void Object::insertObjectInNamesOfAllUsedEffectsAtIndex(const std::string& group, std::size_t index) {
    if (index > namesOfAllUsedEffects_.size()) return;
    namesOfAllUsedEffects_.insert(namesOfAllUsedEffects_.begin() + static_cast<std::ptrdiff_t>(index), group);
    invalidate();
}

void Object::removeObjectFromNamesOfAllUsedEffectsAtIndex(std::size_t index) {
    if (index >= namesOfAllUsedEffects_.size()) return;
    namesOfAllUsedEffects_.erase(namesOfAllUsedEffects_.begin() + static_cast<std::ptrdiff_t>(index));
    invalidate();
}

// --- Keyframes of effects

std::shared_ptr<CompositionBaseState> Object::stateForEffectsAtTime(double objectTime) const {
    StateList found = findStatesToInterpolateForTime(objectTime);
    return found.empty() ? nullptr : found.front();
}

std::shared_ptr<CompositionBaseState> Object::stateForEffectsAtTimeForInspector(double objectTime) const {
    auto state = stateForEffectsAtTime(objectTime);
    return state && state->time() < objectTime ? state : nullptr;
}

std::shared_ptr<CompositionBaseState> Object::nextStateAfterState(const CompositionBaseState* state) const {
    if (!state) return nullptr;
    StateList list = states();
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        if (list[i].get() == state) return list[i + 1];
    }
    return nullptr;
}

void Object::setEffectsAtTime(const std::vector<EffectEntry>& effects, double objectTime) {
    if (auto state = stateForEffectsAtTime(objectTime)) state->setEffects(effects);
    recacheNamesOfAllUsedEffects();
    updateAfterUndo();
}

bool Object::canAddEffectNamedAtTime(const std::string& effectName, double compositionTime) const {
    auto state = stateForEffectsAtTime(compositionTime - startTime_);
    return !state || state->canAddEffectNamed(effectName);
}

bool Object::canAddEffectAtTime(const EffectEntry& entry, double) const {
    if (isAudioEntry(entry)) return false;
    const std::string group = CompositionBaseState::groupNameForEffect(entryName(entry));
    return std::find(namesOfAllUsedEffects_.begin(), namesOfAllUsedEffects_.end(), group) ==
           namesOfAllUsedEffects_.end();
}

void Object::addEffectAtTime(const EffectEntry& entry, double compositionTime) {
    const std::string group = CompositionBaseState::groupNameForEffect(entryName(entry));
    if (std::find(namesOfAllUsedEffects_.begin(), namesOfAllUsedEffects_.end(), group) ==
        namesOfAllUsedEffects_.end())
        insertObjectInNamesOfAllUsedEffectsAtIndex(group, namesOfAllUsedEffects_.size());
    std::shared_ptr<CompositionBaseState> state = noneAnimationState_;
    if (animationEnabled_) {
        const double time = compositionTime - startTime_;
        state = stateForTime(time, TimeTolerance::Loose);
        if (!state) {
            state = newStateOfStateClass();
            state->setUndoDisabled(undoDisabled());
            state->disableAllAnimationProperties();
            state->setTime(time);
            state->addEffect(entry);
            addNewState(state);
            setDefaultValuesForEffectInState(entry, *state);
            updateAfterUndo();
            return;
        }
    }
    if (!state) return;
    state->addEffect(entry);
    setDefaultValuesForEffectInState(entry, *state);
    updateAfterUndo();
}

void Object::addEffectAtPreciseTime(const EffectEntry& entry, double objectTime, double tolerance) {
    const std::string name = entryName(entry);
    const std::string group = CompositionBaseState::groupNameForEffect(name);
    if (std::find(namesOfAllUsedEffects_.begin(), namesOfAllUsedEffects_.end(), group) ==
        namesOfAllUsedEffects_.end())
        insertObjectInNamesOfAllUsedEffectsAtIndex(group, namesOfAllUsedEffects_.size());
    std::shared_ptr<CompositionBaseState> state = noneAnimationState_;
    if (animationEnabled_) {
        state = nullptr;
        for (const auto& candidate : states()) {
            if (candidate->time() >= objectTime - tolerance && candidate->time() <= objectTime + tolerance)
                state = candidate;
        }
        if (!state) {
            state = newStateOfStateClass();
            state->setUndoDisabled(undoDisabled());
            state->disableAllAnimationProperties();
            state->setTime(objectTime);
            fillStateWithValuesForEffectNamed(*state, name);
            state->addEffect(entry);
            addNewState(state);
            updateAfterUndo();
        }
    }
    if (!state) return;
    state->addEffect(entry);
    setDefaultValuesForEffectInState(entry, *state);
    recacheNamesOfAllUsedEffects();
    invalidate();
}

// --- Keyframing values

namespace {

// The keyframe for a value of the effect at the time: the matching keyframe, else (animation on)
// a new one pre-filled with the effect; null when the none-animation state is the only target.
std::shared_ptr<CompositionBaseState> keyframeForValue(Object& object, const std::string& effectName,
                                                       double compositionTime, bool* isNew) {
    *isNew = false;
    const double time = compositionTime - object.startTime();
    auto existing = object.stateForTimeForEffectNamed(time, TimeTolerance::Loose, effectName);
    if (existing && existing != object.noneAnimationState()) return existing;
    if (!object.isAnimationEnabled()) return nullptr;
    auto state = object.createNewStateForTime(time, NewStateValues::Empty);
    state->disableAllAnimationProperties();
    object.fillStateWithValuesForEffectNamed(*state, effectName);
    state->addEffect(entryNamed(effectName));
    state->disableAllAnimationProperties();
    *isNew = true;
    return state;
}

} // namespace

void Object::setFloatForEffectNamed(float value, const std::string& effectName, const std::string& attribute,
                                    double compositionTime) {
    if (noneAnimationState_) noneAnimationState_->setFloatForEffectNamed(value, effectName, attribute);
    bool isNew = false;
    if (auto state = keyframeForValue(*this, effectName, compositionTime, &isNew)) {
        if (isNew) {
            state->storeEffectValue(effectName, attribute, PropertyList(static_cast<double>(value)));
            addNewState(state);
        } else {
            state->setFloatForEffectNamed(value, effectName, attribute);
        }
    }
    invalidate();
}

void Object::setColorForEffectNamed(const RGBAColor& color, const std::string& effectName,
                                    const std::string& attribute, double compositionTime) {
    if (noneAnimationState_) noneAnimationState_->setColorForEffectNamed(color, effectName, attribute);
    bool isNew = false;
    if (auto state = keyframeForValue(*this, effectName, compositionTime, &isNew)) {
        state->storeEffectValue(effectName, attribute, PropertyList(effectColorText(color)));
        if (isNew) addNewState(state);
    }
    invalidate();
}

void Object::setCenterForEffectNamed(Point center, const std::string& effectName, double compositionTime) {
    if (noneAnimationState_) noneAnimationState_->setCenterForEffectNamed(center, effectName);
    bool isNew = false;
    if (auto state = keyframeForValue(*this, effectName, compositionTime, &isNew)) {
        state->setCenterForEffectNamed(center, effectName);
        if (isNew) addNewState(state);
    }
    invalidate();
}

void Object::setMaskForEffectNamed(const Rect& mask, const std::string& effectName, double compositionTime) {
    if (noneAnimationState_) noneAnimationState_->setMaskForEffectNamed(mask, effectName);
    bool isNew = false;
    if (auto state = keyframeForValue(*this, effectName, compositionTime, &isNew)) {
        state->setMaskForEffectNamed(mask, effectName);
        if (isNew) addNewState(state);
    }
    invalidate();
}

// --- Interpolation

namespace {

struct EffectBracket {
    std::shared_ptr<CompositionBaseState> from;
    std::shared_ptr<CompositionBaseState> to;
    double progress = 0;
};

EffectBracket bracketForEffect(const Object& object, const std::string& effectName, double compositionTime) {
    EffectBracket bracket;
    StateList found =
        object.findStatesToInterpolateForTimeForEffectNamed(compositionTime - object.startTime(), effectName);
    if (found.empty()) {
        bracket.from = object.noneAnimationState();
    } else {
        bracket.from = found[0];
        if (found.size() > 1) {
            bracket.to = found[1];
            const double start = object.startTime();
            bracket.progress = animationProgressFromTimes(found[0]->effectTimingKind(), compositionTime,
                                                          start + found[0]->time(), start + found[1]->time());
        }
    }
    return bracket;
}

double blend(double a, double b, double p) {
    return a + (b - a) * p;
}

} // namespace

float Object::floatForEffectNamed(const std::string& effectName, const std::string& attribute,
                                  double compositionTime) const {
    EffectBracket b = bracketForEffect(*this, effectName, compositionTime);
    if (!b.from) return 0;
    const double va = b.from->floatForEffectName(effectName, attribute);
    if (!b.to) return static_cast<float>(va);
    const double vb = b.to->floatForEffectName(effectName, attribute);
    return static_cast<float>(blend(va, vb, b.progress));
}

RGBAColor Object::colorForEffectNamed(const std::string& effectName, const std::string& attribute,
                                      double compositionTime) const {
    EffectBracket b = bracketForEffect(*this, effectName, compositionTime);
    if (!b.from) return RGBAColor{};
    RGBAColor a = b.from->colorForEffectName(effectName, attribute);
    if (!b.to) return a;
    const RGBAColor c = b.to->colorForEffectName(effectName, attribute);
    return RGBAColor{blend(a.red, c.red, b.progress), blend(a.green, c.green, b.progress),
                     blend(a.blue, c.blue, b.progress), blend(a.alpha, c.alpha, b.progress), a.deviceRGB};
}

Rect Object::maskForEffectAtTime(const std::string& effectName, double compositionTime, bool* isValid) const {
    EffectBracket b = bracketForEffect(*this, effectName, compositionTime);
    if (!b.from) {
        if (isValid) *isValid = false;
        return Rect();
    }
    if (!b.to) return b.from->maskForEffectNamed(effectName, isValid);
    const Rect m = b.from->maskForEffectNamed(effectName);
    const Rect n = b.to->maskForEffectNamed(effectName);
    if (isValid) *isValid = true;
    return Rect(blend(m.origin.x, n.origin.x, b.progress), blend(m.origin.y, n.origin.y, b.progress),
                blend(m.size.width, n.size.width, b.progress),
                blend(m.size.height, n.size.height, b.progress));
}

Point Object::centerForEffectAtTime(const std::string& effectName, double compositionTime) const {
    EffectBracket b = bracketForEffect(*this, effectName, compositionTime);
    if (!b.from) return Point{0.5, 0.5};
    const Point p = b.from->centerForEffectNamed(effectName);
    if (!b.to) return p;
    const Point q = b.to->centerForEffectNamed(effectName);
    return Point{blend(p.x, q.x, b.progress), blend(p.y, q.y, b.progress)};
}

// --- Filters

const FilterDescription* Object::filterWithName(const std::string& effectName) {
    return filterDescriptionNamed(effectName);
}

bool Object::filterHasAttribute(const std::string& effectName, const std::string& attribute) {
    return attributeDescriptionForAttribute(attribute, effectName) != nullptr;
}

const FilterAttributeDescription* Object::attributeDescriptionForAttribute(const std::string& attribute,
                                                                           const std::string& effectName) {
    return filterAttributeDescription(effectName, attribute);
}

std::vector<std::string> Object::attributeNamesOfClassNamed(const std::string& attributeClass,
                                                            const std::string& effectName,
                                                            AttributeNaming naming) {
    std::vector<std::string> names;
    const FilterDescription* filter = filterWithName(effectName);
    if (!filter) return names;
    for (const auto& attribute : filter->attributes) {
        if (attribute.attributeClass != attributeClass) continue;
        const bool localized = naming == AttributeNaming::PreferLocalized && !attribute.displayName.empty();
        names.push_back(localized ? attribute.displayName : attribute.name);
    }
    return names;
}

std::vector<std::string> Object::floatAttributeNamesForFilterWithName(const std::string& effectName,
                                                                      AttributeNaming naming) {
    return attributeNamesOfClassNamed(kFilterAttributeClassNumber, effectName, naming);
}

std::string Object::nibNameForEffectNamed(const std::string& effectName) {
    static const std::set<std::string> twoValues = {
        "CIMotionBlur",      "CIVortexDistortion", "CIBumpDistortion",    "CIBloom",
        "CIGloom",           "CIVignette",         "CICircularScreen",    "CICircularWrap",
        "CITwirlDistortion", "CIKaleidoscope",     "CIParallelogramTile", "CINoiseReduction",
        "CIPinchDistortion", "CITriangleTile",     "CIUnsharpMask"};
    static const std::set<std::string> threeValues = {
        "CIVignetteEffect", "CITorusLensDistortion", "CIBumpDistortionLinear", "CIDotScreen",
        "CIHatchedScreen",  "CILineScreen",          "CIColorControls"};
    static const std::set<std::string> noValues = {"CIComicEffect", "CIColorInvert", "CIMaskToAlpha",
                                                   "CIMedianFilter"};
    if (twoValues.count(effectName)) return "SimpleEffectTwoValues";
    if (threeValues.count(effectName)) return "SimpleEffectThreeValues";
    if (noValues.count(effectName)) return "SimpleEffectNoValues";
    if (effectName == "ChromaKey") return "ChromaKeySettings";
    return "SimpleEffectOneValue";
}

std::string Object::classNameForPropertyInspectorForEffectNamed(const std::string& effectName) {
    const std::string nib = nibNameForEffectNamed(effectName);
    return nib == "SimpleEffectNoValues" ? "EffectGroupViewController" : nib + "ViewController";
}

// --- Filling new keyframes

void Object::fillStateWithValuesForEffectNamed(CompositionBaseState& state, const std::string& effectName) {
    std::shared_ptr<CompositionBaseState> source;
    if (!animationEnabled_) {
        source = noneAnimationState_;
    } else {
        for (const auto& candidate : statesForEffectNamed(effectName, NoneAnimationState::Include)) {
            if (candidate->time() < state.time()) source = candidate;
        }
        if (!source)
            source = stateAtTime(state.time(), statesForEffectNamed(effectName, NoneAnimationState::Exclude));
    }
    if (!source) return;
    std::vector<EffectEntry> entries;
    for (const EffectEntry& entry : source->effects()) {
        if (entryName(entry) == effectName) entries.push_back(entry);
    }
    state.adoptEffects(entries);
    const PlistDictionary* values = source->effectValuesForEffectNamed(effectName);
    if (!values) return;
    state.setEmptyEffectValuesForEffectNamed(effectName);
    const double compositionTime = startTime_ + state.time();
    for (const auto& [attribute, value] : *values) {
        const FilterAttributeDescription* description =
            attributeDescriptionForAttribute(attribute, effectName);
        if (!description) continue;
        if (description->attributeClass == kFilterAttributeClassNumber) {
            state.storeEffectValue(effectName, attribute,
                                   PropertyList(static_cast<double>(
                                       floatForEffectNamed(effectName, attribute, compositionTime))));
        } else if (description->attributeClass == kFilterAttributeClassColor) {
            state.storeEffectValue(
                effectName, attribute,
                PropertyList(effectColorText(colorForEffectNamed(effectName, attribute, compositionTime))));
        }
    }
}

} // namespace vtl
