// Effect operations of a keyframe: its ordered effect list and the values per effect and
// attribute, with the reserved mask and centre attributes.

#include "model/CompositionBaseObject.h"
#include "model/CompositionBaseState.h"
#include "model/CompositionUndoManager.h"
#include "model/EffectFilterDescriptions.h"
#include "platform/foundation/Log.h"

#include <algorithm>

namespace vtl {

namespace {

using State = CompositionBaseState;

const Rect kNoMask(0, 0, 1, 1);

std::string entryName(const EffectEntry& entry) {
    const PropertyList* name = entry.find("name");
    return name && name->stringValue() ? *name->stringValue() : std::string();
}

} // namespace

std::vector<std::string> State::allEffectNamesAsArray() const {
    std::vector<std::string> names;
    for (const EffectEntry& entry : effects_)
        names.push_back(groupNameForEffect(entryName(entry)));
    return names;
}

std::set<std::string> State::allEffectNames() const {
    const auto names = allEffectNamesAsArray();
    return {names.begin(), names.end()};
}

bool State::canAddEffect(const EffectEntry& entry) const {
    return !hasEffectNamed(entryName(entry));
}

void State::addEffect(const EffectEntry& entry) {
    if (!canAddEffect(entry)) return;
    insertObjectInEffectsAtIndex(entry, effects_.size());
    updateAfterUndo();
}

void State::moveEffect(const std::string& group, std::size_t index) {
    const std::string name = effectNameForGroup(group);
    auto found =
        std::find_if(effects_.begin(), effects_.end(), [&](const auto& e) { return entryName(e) == name; });
    if (found == effects_.end()) {
        logMessage("effect not found.");
        return;
    }
    const std::size_t from = static_cast<std::size_t>(found - effects_.begin());
    index = std::min(index, effects_.size() - 1);
    if (from == index) return;
    willChangeValueForKey("effects");
    EffectEntry entry = *found;
    effects_.erase(found);
    effects_.insert(effects_.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
    didChangeValueForKey("effects");
    updateAfterUndo();
}

void State::removeEffectNamed(const std::string& group) {
    const std::string name = effectNameForGroup(group);
    for (std::size_t i = 0; i < effects_.size(); ++i) {
        if (entryName(effects_[i]) == name) {
            removeEffectAtIndex(i);
            return;
        }
    }
    logMessage("effect not found: " + name);
}

void State::removeEffectAtIndex(std::size_t index) {
    if (index >= effects_.size()) return;
    removeObjectFromEffectsAtIndex(index);
    updateAfterUndo();
}

void State::setEmptyEffectValuesForEffectNamed(const std::string& effectName) {
    effectValues_.set(effectName, PropertyList(PlistDictionary()));
}

void State::setAllEffectValues(const PlistDictionary& values) {
    effectValues_ = PlistDictionary();
    for (const auto& [name, perEffect] : values) {
        if (perEffect.dictionaryValue()) effectValues_.set(name, perEffect);
    }
}

void State::storeEffectValue(const std::string& effectName, const std::string& attribute,
                             const PropertyList& value) {
    PlistDictionary values;
    if (const PlistDictionary* existing = effectValuesForEffectNamed(effectName)) values = *existing;
    values.set(attribute, value);
    effectValues_.set(effectName, PropertyList(std::move(values)));
}

std::optional<PropertyList> State::objectForEffectName(const std::string& effectName,
                                                       const std::string& attribute) const {
    if (const PlistDictionary* values = effectValuesForEffectNamed(effectName)) {
        if (const PropertyList* value = values->find(attribute)) return *value;
    }
    if (object_ && object_->isAnimationEnabled()) {
        StateList list = object_->states();
        auto self = std::find_if(list.begin(), list.end(), [&](const auto& s) { return s.get() == this; });
        if (self != list.end() && self != list.begin()) {
            if (const PlistDictionary* values = list.front()->effectValuesForEffectNamed(effectName)) {
                if (const PropertyList* value = values->find(attribute)) return *value;
            }
        }
    }
    return defaultObjectValueForEffectNamed(effectName, attribute);
}

float State::floatForEffectName(const std::string& effectName, const std::string& attribute) const {
    std::optional<PropertyList> value = objectForEffectName(effectName, attribute);
    return value ? static_cast<float>(value->numberValue().value_or(0)) : 0.0f;
}

RGBAColor State::colorForEffectName(const std::string& effectName, const std::string& attribute) const {
    std::optional<PropertyList> value = objectForEffectName(effectName, attribute);
    if (value && value->stringValue()) {
        if (auto color = effectColorFromText(*value->stringValue())) return *color;
    }
    return defaultColorValueForEffectNamed(effectName, attribute);
}

std::optional<PropertyList> State::defaultObjectValueForEffectNamed(const std::string& effectName,
                                                                    const std::string& attribute) {
    const FilterAttributeDescription* description = filterAttributeDescription(effectName, attribute);
    if (!description || description->defaultValue.isNone()) return std::nullopt;
    return description->defaultValue;
}

float State::defaultFloatValueForEffectNamed(const std::string& effectName, const std::string& attribute) {
    std::optional<PropertyList> value = defaultObjectValueForEffectNamed(effectName, attribute);
    return value ? static_cast<float>(value->numberValue().value_or(0)) : 0.0f;
}

RGBAColor State::defaultColorValueForEffectNamed(const std::string& effectName,
                                                 const std::string& attribute) {
    std::optional<PropertyList> value = defaultObjectValueForEffectNamed(effectName, attribute);
    if (value && value->stringValue()) {
        if (auto color = effectColorFromText(*value->stringValue())) return *color;
    }
    return RGBAColor{};
}

void State::replaceEffectValue(const std::string& effectName, const std::string& attribute,
                               const std::optional<PropertyList>& value) {
    std::optional<PropertyList> previous;
    if (const PlistDictionary* values = effectValuesForEffectNamed(effectName)) {
        if (const PropertyList* old = values->find(attribute)) previous = *old;
    }
    if (CompositionUndoManager* manager = acceptsUndoRegistration() ? undoManager() : nullptr) {
        auto self = std::static_pointer_cast<State>(shared_from_this());
        manager->registerUndo(this, [self, previous, effectName, attribute] {
            self->replaceEffectValue(effectName, attribute, previous);
            if (self->object_) self->object_->updateAfterUndo();
        });
    }
    if (value) {
        storeEffectValue(effectName, attribute, *value);
    } else if (const PlistDictionary* values = effectValuesForEffectNamed(effectName)) {
        PlistDictionary changed = *values;
        changed.remove(attribute);
        effectValues_.set(effectName, PropertyList(std::move(changed)));
    }
}

void State::setFloatForEffectNamed(float value, const std::string& effectName, const std::string& attribute) {
    if (!effectValuesForEffectNamed(effectName)) return;
    replaceEffectValue(effectName, attribute, PropertyList(static_cast<double>(value)));
}

void State::undoSetFloatForEffectNamed(float value, const std::string& effectName,
                                       const std::string& attribute) {
    setFloatForEffectNamed(value, effectName, attribute);
    if (object_) object_->updateAfterUndo();
}

void State::setColorForEffectNamed(const RGBAColor& color, const std::string& effectName,
                                   const std::string& attribute) {
    if (!effectValuesForEffectNamed(effectName)) return;
    storeEffectValue(effectName, attribute, PropertyList(effectColorText(color)));
}

bool State::hasMaskForEffectNamed(const std::string& effectName) const {
    bool valid = false;
    const Rect mask = maskForEffectNamed(effectName, &valid);
    return valid &&
           !(mask.origin.x == 0 && mask.origin.y == 0 && mask.size.width == 1 && mask.size.height == 1);
}

Rect State::maskForEffectNamed(const std::string& effectName, bool* isValid) const {
    if (const PlistDictionary* values = effectValuesForEffectNamed(effectName)) {
        if (const PropertyList* text = values->find(kEffectMaskAttribute); text && text->stringValue()) {
            if (isValid) *isValid = true;
            return rectFromString(*text->stringValue());
        }
    }
    if (isValid) *isValid = false;
    return kNoMask;
}

void State::setMaskForEffectNamed(const Rect& requested, const std::string& effectName) {
    double x = std::max(requested.origin.x, 0.0), y = std::max(requested.origin.y, 0.0);
    double w = requested.size.width, h = requested.size.height;
    if (x + w > 1) w += static_cast<float>(1 - (x + w));
    if (y + h > 1) h += static_cast<float>(1 - (y + h));
    if (w < 0.05 || h < 0.05) return;
    undoSetMaskForEffectNamed(Rect(x, y, w, h), effectName);
}

void State::undoSetMaskForEffectNamed(const Rect& mask, const std::string& effectName) {
    replaceEffectValue(effectName, kEffectMaskAttribute, PropertyList(stringFromRect(mask)));
    if (object_) object_->invalidate();
}

Point State::centerForEffectNamed(const std::string& effectName) const {
    if (const PlistDictionary* values = effectValuesForEffectNamed(effectName)) {
        if (const PropertyList* text = values->find(kEffectCenterAttribute); text && text->stringValue())
            return pointFromString(*text->stringValue());
    }
    return Point{0.5, 0.5};
}

void State::setCenterForEffectNamed(Point center, const std::string& effectName) {
    replaceEffectValue(effectName, kEffectCenterAttribute, PropertyList(stringFromPoint(center)));
    if (object_) object_->invalidate();
}

} // namespace vtl
