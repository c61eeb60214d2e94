// Object effects: which effects are active at a time, filters configured from the object's values
// for each render, masks and centres between their stored and object-space forms, end markers,
// the effect order and the removal of an effect.

#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "model/EffectFilterDescriptions.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/FilterRegistry.h"

#include <algorithm>
#include <cmath>

namespace vtl {

using Object = CompositionRectangularObject;

namespace {

constexpr const char* centerInput = "inputCenter";
constexpr const char* attributeGroups[] = {kGroupRectOrScaling, kGroupOpacity, kGroupRotation, kGroupFrame};

bool endsEffect(const CompositionBaseState& state, const std::string& effectName) {
    auto rectangular = dynamic_cast<const CompositionRectangularState*>(&state);
    return rectangular && rectangular->endMarkerForAttributeGroupNamed(effectName);
}

std::int64_t wholeMilliseconds(double seconds) {
    return std::llround(seconds * 1000.0);
}

bool finiteAndNonZero(double v) {
    return std::isfinite(v) && v != 0;
}

// The latest of the effect's keyframes at or before the time, or none.
std::shared_ptr<CompositionBaseState> latestEffectStateAtOrBefore(const StateList& states, double time) {
    std::shared_ptr<CompositionBaseState> latest;
    for (const auto& state : states)
        if (state->time() <= time) latest = state;
    return latest;
}

} // namespace

// --- The list of used effects

std::vector<std::string> Object::uncachedNamesOfAllUsedEffects() const {
    std::vector<std::string> names;
    auto collect = [&](const CompositionBaseState& state) {
        for (const std::string& group : state.allEffectNamesAsArray())
            if (std::find(names.begin(), names.end(), group) == names.end()) names.push_back(group);
    };
    if (auto none = noneAnimationState()) collect(*none);
    for (const auto& state : states())
        collect(*state);
    return names;
}

std::vector<std::string> Object::inUserEffectOrder(std::vector<std::string> names) const {
    if (userEffectOrder_.empty()) return names;
    auto rank = [this](const std::string& name) {
        return std::size_t(std::find(userEffectOrder_.begin(), userEffectOrder_.end(), name) -
                           userEffectOrder_.begin());
    };
    std::stable_sort(names.begin(), names.end(),
                     [&rank](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    return names;
}

void Object::recacheNamesOfAllUsedEffects() {
    const std::vector<std::string> names = inUserEffectOrder(uncachedNamesOfAllUsedEffects());
    if (names == namesOfAllUsedEffects()) return;
    while (countOfNamesOfAllUsedEffects() > 0)
        removeObjectFromNamesOfAllUsedEffectsAtIndex(countOfNamesOfAllUsedEffects() - 1);
    for (std::size_t i = 0; i < names.size(); ++i)
        insertObjectInNamesOfAllUsedEffectsAtIndex(names[i], i);
}

void Object::replaceNamesOfAllUsedEffects(const std::vector<std::string>& names) {
    const std::vector<std::string> previous = namesOfAllUsedEffects();
    if (names == previous) return;
    if (CompositionUndoManager* manager = undoManager(); manager && registersUndoForChanges()) {
        std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
        manager->registerUndo(this, [weakSelf, previous, previousOrder = userEffectOrder_] {
            if (auto self = std::dynamic_pointer_cast<Object>(weakSelf.lock())) {
                self->replaceNamesOfAllUsedEffects(previous);
                self->userEffectOrder_ = previousOrder;
            }
        });
    }
    while (countOfNamesOfAllUsedEffects() > 0)
        removeObjectFromNamesOfAllUsedEffectsAtIndex(countOfNamesOfAllUsedEffects() - 1);
    for (std::size_t i = 0; i < names.size(); ++i)
        insertObjectInNamesOfAllUsedEffectsAtIndex(names[i], i);
}

std::vector<std::string> Object::namesOfActiveEffectsAtTime(double compositionTime) const {
    std::vector<std::string> names;
    const double relative = compositionTime - startTime();
    for (const std::string& group : namesOfAllUsedEffects()) {
        const std::string name = CompositionBaseState::effectNameForGroup(group);
        if (!isAnimationEnabled()) {
            names.push_back(name);
            continue;
        }
        const StateList states = statesForEffectNamed(name, NoneAnimationState::Exclude);
        if (states.empty()) {
            names.push_back(name);
            continue;
        }
        const CompositionBaseState* passed = nullptr;
        for (const auto& state : states) {
            if (wholeMilliseconds(state->time()) > wholeMilliseconds(relative)) break;
            passed = state.get();
        }
        if (passed && !endsEffect(*passed, name)) names.push_back(name);
    }
    return names;
}

std::string Object::localizedNameForEffect(const std::string& effectName) const {
    if (auto attributes = FilterRegistry::shared().attributesOfFilter(effectName); attributes)
        return attributes->displayName.empty() ? effectName : attributes->displayName;
    return effectName;
}

void Object::setDefaultValuesForEffectInState(const EffectEntry& effect, CompositionBaseState& state) {
    const PropertyList* nameValue = effect.find("name");
    const std::string* name = nameValue ? nameValue->stringValue() : nullptr;
    if (!name) return;
    const FilterDescription* description = filterWithName(*name);
    if (!description) return;
    PlistDictionary values;
    for (const FilterAttributeDescription& attribute : description->attributes) {
        if (attribute.attributeClass == filterAttributeClassNumber ||
            attribute.attributeClass == filterAttributeClassColor)
            values.set(attribute.name, attribute.defaultValue);
    }
    state.setEffectValuesForEffectNamed(values, *name);
}

// --- Filters at a time

bool Object::effectWithNameHasCenter(const std::string& effectName) {
    auto attributes = FilterRegistry::shared().attributesOfFilter(effectName);
    return attributes && attributes->input(centerInput) != nullptr;
}

std::unique_ptr<CIFilter> Object::filterWithNameForTime(const std::string& effectName,
                                                        double compositionTime) const {
    if (!FilterRegistry::shared().attributesOfFilter(effectName)) return nullptr;
    std::unique_ptr<CIFilter> filter = FilterRegistry::shared().filterWithName(effectName);
    if (!filter) return nullptr;
    for (const std::string& attribute : configuredAttributesForFilterWithName(effectName, compositionTime)) {
        const FilterAttribute* input = filter->attributes().input(attribute);
        if (!input) continue;
        if (input->attributeClass == filterAttributeClassNumber) {
            filter->setValue(attribute, double(floatForEffectNamed(effectName, attribute, compositionTime)));
        } else if (input->attributeClass == filterAttributeClassColor) {
            const RGBAColor c = colorForEffectNamed(effectName, attribute, compositionTime);
            filter->setValue(attribute, CIColor(c.red, c.green, c.blue, c.alpha));
        }
    }
    return filter;
}

CIImage Object::imageWithFiltersAppliedAtTime(double compositionTime, const CIImage& image) const {
    CIImage result = image;
    // Tiles and some distortions fill the whole plane; the compositor draws only finite pictures, so
    // every effect's output is confined to the object's picture.
    const Rect picture = image.isNull() ? Rect() : image.extent();
    const bool confine = !image.isNull() && !isInfiniteRect(picture);
    for (const std::string& name : namesOfActiveEffectsAtTime(compositionTime)) {
        if (!FilterRegistry::shared().attributesOfFilter(name)) {
            logOnce("unknown effect " + name, "The effect \"" + name + "\" is not known; it is left out.");
            continue;
        }
        result = imageFromFilterNamedAtTime(name, compositionTime, result);
        if (confine && !result.isNull()) result = result.imageByCroppingToRect(picture);
    }
    return result;
}

CIImage Object::imageFromFilterNamedAtTime(const std::string& effectName, double compositionTime,
                                           const CIImage& image) const {
    if (image.isNull()) return image;
    std::unique_ptr<CIFilter> filter = filterWithNameForTime(effectName, compositionTime);
    if (!filter) return image;
    if (effectWithNameHasCenter(effectName)) {
        const Point center = normalizedCenterForEffect(effectName, compositionTime);
        filter->setValue(centerInput, CIVector{center.x, center.y});
    }
    bool valid = true, covers = false;
    const Rect mask = normalizedMaskEffect(effectName, compositionTime, &valid, &covers);
    // An effect without a mask works on the whole picture.
    if (covers || !valid) {
        filter->setValue("inputImage", image);
        CIImage output = filter->outputImage();
        return output.isNull() ? image : output;
    }
    const Rect area = mask.integral();
    if (area.isEmpty()) return image;
    filter->setValue("inputImage", image.imageByCroppingToRect(area));
    // What the filter spreads beyond its mask (a blur's fringe) stays out: outside the mask the
    // picture is left exactly as it was.
    CIImage filtered = filter->outputImage();
    if (filtered.isNull()) return image;
    filtered = filtered.imageByCroppingToRect(area);
    std::unique_ptr<CIFilter> over = CIFilter::filterWithName("CISourceOverCompositing");
    const CIImage around = vtltools::imageByCuttingOutRect(image, area);
    if (!over || around.isNull()) return filtered;
    over->setValue("inputImage", filtered);
    over->setValue("inputBackgroundImage", around);
    CIImage output = over->outputImage();
    return output.isNull() ? image : output;
}

// --- Centres and masks

Point Object::normalizedCenterForEffect(const std::string& effectName, double compositionTime) const {
    const Point stored = centerForEffectAtTime(effectName, compositionTime);
    const Size size = rectForTime(compositionTime).size;
    Point p{stored.x * size.width, stored.y * size.height};
    if (wantsRectSetInsteadOfScaling()) {
        p.x *= xScalingFactorForTime(compositionTime);
        p.y *= yScalingFactorForTime(compositionTime);
    }
    return p;
}

bool Object::setNormalizedEffectCenter(Point center, const std::string& effectName, double compositionTime) {
    const Size size = rectForTime(compositionTime).size;
    double xs = 1, ys = 1;
    if (wantsRectSetInsteadOfScaling()) {
        xs = xScalingFactorForTime(compositionTime);
        ys = yScalingFactorForTime(compositionTime);
    }
    if (!finiteAndNonZero(size.width * xs) || !finiteAndNonZero(size.height * ys) ||
        !std::isfinite(center.x) || !std::isfinite(center.y)) {
        logMessage("An effect centre cannot be set on an object without size or scaling; ignored.");
        return false;
    }
    setCenterForEffectNamed(Point{center.x / xs / size.width, center.y / ys / size.height}, effectName,
                            compositionTime);
    return true;
}

Rect Object::normalizedMaskEffect(const std::string& effectName, double compositionTime, bool* isValid,
                                  bool* coversEntireImage) const {
    bool valid = true;
    Rect m = maskForEffectAtTime(effectName, compositionTime, &valid);
    if (isValid) *isValid = valid;
    if (m.size.width > 0.97) {
        m.origin.x = 0;
        m.size.width = 1;
    }
    if (m.size.height > 0.97) {
        m.origin.y = 0;
        m.size.height = 1;
    }
    if (coversEntireImage) *coversEntireImage = m == Rect(0, 0, 1, 1);
    const Size size = rectForTime(compositionTime).size;
    Rect r(m.origin.x * size.width, m.origin.y * size.height, m.size.width * size.width,
           m.size.height * size.height);
    if (wantsRectSetInsteadOfScaling()) {
        const double xs = xScalingFactorForTime(compositionTime), ys = yScalingFactorForTime(compositionTime);
        r = Rect(r.origin.x * xs, r.origin.y * ys, r.size.width * xs, r.size.height * ys);
    }
    return r;
}

Rect Object::normalizedMaskEffectFromRect(const std::string& effectName, const Rect& rect,
                                          double compositionTime) const {
    const Rect m = maskForEffectAtTime(effectName, compositionTime);
    Rect r(rect.origin.x + m.origin.x * rect.size.width, rect.origin.y + m.origin.y * rect.size.height,
           m.size.width * rect.size.width, m.size.height * rect.size.height);
    if (wantsRectSetInsteadOfScaling()) {
        r.size.width *= xScalingFactorForTime(compositionTime);
        r.size.height *= yScalingFactorForTime(compositionTime);
    }
    return r.integral();
}

bool Object::setNormalizedMask(const Rect& mask, const std::string& effectName, double compositionTime) {
    const Size size = rectForTime(compositionTime).size;
    double xs = 1, ys = 1;
    if (wantsRectSetInsteadOfScaling()) {
        xs = xScalingFactorForTime(compositionTime);
        ys = yScalingFactorForTime(compositionTime);
    }
    if (!finiteAndNonZero(size.width * xs) || !finiteAndNonZero(size.height * ys)) {
        logMessage("An effect mask cannot be set on an object without size or scaling; ignored.");
        return false;
    }
    const double w = size.width * xs, h = size.height * ys;
    const Rect stored(mask.origin.x / w, mask.origin.y / h, mask.size.width / w, mask.size.height / h);
    if (!std::isfinite(stored.origin.x) || !std::isfinite(stored.origin.y) ||
        !std::isfinite(stored.size.width) || !std::isfinite(stored.size.height)) {
        logMessage("An effect mask that is not a number was ignored.");
        return false;
    }
    setMaskForEffectNamed(stored, effectName, compositionTime);
    return true;
}

bool Object::hasMaskForEffectNamed(const std::string& effectName, double compositionTime) const {
    bool valid = false;
    maskForEffectAtTime(effectName, compositionTime, &valid);
    return valid;
}

// --- End markers

bool Object::endMarkerForEffectNamed(const std::string& effectName, double compositionTime) const {
    const StateList states =
        findStatesToInterpolateForTimeForEffectNamed(compositionTime - startTime(), effectName);
    return !states.empty() && states.front() && endsEffect(*states.front(), effectName);
}

void Object::setEndMarker(bool marker, const std::string& effectName, double compositionTime) {
    if (isAnimationEnabled()) {
        const double relative = compositionTime - startTime();
        std::shared_ptr<CompositionBaseState> state =
            stateForTimeForEffectNamed(relative, TimeTolerance::Loose, effectName);
        if (state && state != noneAnimationState()) {
            if (auto rectangular = std::dynamic_pointer_cast<CompositionRectangularState>(state))
                rectangular->setEndMarker(marker, effectName);
        } else if (auto created = std::dynamic_pointer_cast<CompositionRectangularState>(
                       createNewStateForTime(relative, NewStateValues::Empty))) {
            created->disableAllAnimationProperties();
            fillStateWithValuesForEffectNamed(*created, effectName);
            created->setEndMarker(marker, effectName);
            addNewState(created);
        }
    }
    invalidate();
}

// --- Inspector listings

std::vector<PlistDictionary> Object::effectConfigurationsForState(const CompositionBaseState& state,
                                                                  EffectVisibility visibility) const {
    std::vector<PlistDictionary> configurations;
    for (const std::string& name : effectNamesForState(state, visibility)) {
        PlistDictionary entry;
        entry.set("name", PropertyList(name));
        configurations.push_back(std::move(entry));
    }
    return configurations;
}

std::vector<std::string> Object::effectNamesForState(const CompositionBaseState& state,
                                                     EffectVisibility visibility) const {
    std::vector<std::string> names;
    for (const std::string& group : namesOfAllUsedEffects()) {
        const std::string name = CompositionBaseState::effectNameForGroup(group);
        if (visibility == EffectVisibility::Respect && isAnimationEnabled()) {
            auto latest = latestEffectStateAtOrBefore(statesForEffectNamed(name, NoneAnimationState::Exclude),
                                                      state.time() + 0.01);
            if (!latest || endsEffect(*latest, name)) continue;
        }
        names.push_back(name);
    }
    return names;
}

std::shared_ptr<CompositionBaseState> Object::stateAtTime(double objectTime) const {
    const StateList list = states();
    if (list.empty()) return nullptr;
    if (list.size() == 1) return list.front();
    std::size_t low = 0, high = list.size();
    std::shared_ptr<CompositionBaseState> probed;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        probed = list[middle];
        const double time = probed->time();
        if (time == objectTime) return probed;
        if (time < objectTime) {
            if (middle + 1 < list.size() && list[middle + 1]->time() > objectTime) return probed;
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return probed;
}

// --- Order and removal

void Object::moveEffectBy(const std::string& group, int delta) {
    const auto& names = namesOfAllUsedEffects();
    auto found = std::find(names.begin(), names.end(), group);
    if (found == names.end()) {
        logMessage("effect not found");
        return;
    }
    const long index = long(found - names.begin()) + delta;
    if (index < 0 || index >= long(names.size())) {
        logMessage("moving effect by specified delta would move it out of the legal range. ignoring.");
        return;
    }
    moveEffectToIndex(group, int(index));
}

void Object::moveEffectToIndex(const std::string& group, int index) {
    std::vector<std::string> names = namesOfAllUsedEffects();
    auto found = std::find(names.begin(), names.end(), group);
    if (found == names.end()) {
        logMessage("effect not found");
        return;
    }
    if (index < 0 || index >= int(names.size())) {
        logMessage("moving effect by specified delta would move it out of the legal range. ignoring.");
        return;
    }
    names.erase(found);
    names.insert(names.begin() + index, group);
    replaceNamesOfAllUsedEffects(names);
    userEffectOrder_ = names;
}

void Object::removeEffect(const std::string& group) {
    const std::string name = CompositionBaseState::effectNameForGroup(group);
    NotificationCenter::defaultCenter().post(kEffectWillBeDeletedNotification, compositionObjectsContainer());
    auto dropEffect = [&](CompositionBaseState& state) {
        if (state.hasEffectNamed(name)) state.removeEffectNamed(group);
        if (state.effectValuesForEffectNamed(name)) {
            PlistDictionary values = state.effectValues();
            values.remove(name);
            state.setEffectValues(values);
        }
    };
    if (auto none = noneAnimationState()) dropEffect(*none);
    std::vector<std::string> names = namesOfAllUsedEffects();
    names.erase(std::remove(names.begin(), names.end(), group), names.end());
    replaceNamesOfAllUsedEffects(names);
    for (const auto& state : statesForEffectNamed(name, NoneAnimationState::Exclude)) {
        dropEffect(*state);
        const bool carriesGroup = std::any_of(std::begin(attributeGroups), std::end(attributeGroups),
                                              [&](const char* g) { return state->carriesAttributeGroup(g); });
        if (!carriesGroup && !state->hasEffects()) removeState(state);
    }
    invalidate();
}

} // namespace vtl
