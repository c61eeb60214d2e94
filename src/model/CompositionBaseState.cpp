#include "model/CompositionBaseState.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionModelNotifications.h"
#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <cstdio>

namespace vtl {

const ModelKeyTable<CompositionBaseState>& CompositionBaseState::keyValueTable() {
    using State = CompositionBaseState;
    static const auto table =
        ModelKeyTable<State>()
            .undoable("time", &State::time, &State::restoreTime)
            .undoable("effectValues", &State::effectValues, &State::setEffectValues)
            .undoable("disabled", &State::isDisabled, &State::setDisabled)
            .undoable("baseObject", &State::baseObject, &State::setBaseObject)
            .undoableToMany("effects", &State::countOfEffects, &State::objectInEffectsAtIndex,
                            &State::insertObjectInEffectsAtIndex, &State::removeObjectFromEffectsAtIndex,
                            &State::effects, &State::setEffects);
    return table;
}

CompositionBaseState::CompositionBaseState(CompositionBaseObject* owner)
    : object_(owner) {}

// Rendering threads read the times and disabled flags of keyframes while they hold the owner's
// keyframe-list lock, so those fields change only under it.
template <typename Write> void CompositionBaseState::writeUnderOwnerLock(Write&& write) {
    if (!object_) {
        write();
        return;
    }
    RecursiveMutexLock lock(object_->statesLock());
    write();
}

void CompositionBaseState::setTime(double time) {
    if (object_) time = std::clamp(time, 0.0, std::max(0.0, object_->endTime() - object_->startTime()));
    writeTime(time);
    postTimeChanged();
}

void CompositionBaseState::restoreTime(double time) {
    writeTime(time);
    postTimeChanged();
}

void CompositionBaseState::writeTime(double time) {
    willChangeValueForKey("time");
    writeUnderOwnerLock([&] { time_ = time; });
    didChangeValueForKey("time");
}

void CompositionBaseState::moveByTime(double delta) {
    writeUnderOwnerLock([&] { time_ += delta; });
}

void CompositionBaseState::postTimeChanged() const {
    NotificationCenter::defaultCenter().post(kStateChangedTimeNotification,
                                             object_ ? object_->compositionObjectsContainer() : nullptr);
}

void CompositionBaseState::setBaseObject(CompositionBaseObject* object) {
    setObservedValue("baseObject", object_, object);
}

void CompositionBaseState::setDisabled(bool disabled) {
    willChangeValueForKey("disabled");
    writeUnderOwnerLock([&] { isDisabled_ = disabled; });
    didChangeValueForKey("disabled");
    if (object_) object_->invalidate();
}

void CompositionBaseState::setEffects(const std::vector<EffectEntry>& effects) {
    setObservedValue("effects", effects_, effects);
    updateAfterUndo();
}

bool CompositionBaseState::hasEffectNamed(const std::string& name) const {
    return std::any_of(effects_.begin(), effects_.end(), [&](const EffectEntry& entry) {
        const PropertyList* entryName = entry.find("name");
        return entryName && entryName->stringValue() && *entryName->stringValue() == name;
    });
}

void CompositionBaseState::insertObjectInEffectsAtIndex(const EffectEntry& entry, std::size_t index) {
    if (index > effects_.size()) return;
    willChange(KeyValueChangeKind::insertion, {index}, "effects");
    effects_.insert(effects_.begin() + static_cast<std::ptrdiff_t>(index), entry);
    didChange(KeyValueChangeKind::insertion, {index}, "effects");
    if (object_) object_->invalidate();
}

void CompositionBaseState::removeObjectFromEffectsAtIndex(std::size_t index) {
    if (index >= effects_.size()) return;
    NotificationCenter::defaultCenter().post(kEffectWillBeDeletedNotification,
                                             object_ ? object_->compositionObjectsContainer() : nullptr);
    willChange(KeyValueChangeKind::removal, {index}, "effects");
    effects_.erase(effects_.begin() + static_cast<std::ptrdiff_t>(index));
    didChange(KeyValueChangeKind::removal, {index}, "effects");
    if (object_) object_->invalidate();
}

void CompositionBaseState::setEffectValues(const PlistDictionary& values) {
    setObservedValue("effectValues", effectValues_, values);
}

void CompositionBaseState::setEffectValuesForEffectNamed(const PlistDictionary& values,
                                                         const std::string& name) {
    effectValues_.set(name, PropertyList(values));
}

CompositionUndoManager* CompositionBaseState::undoManager() const {
    return object_ ? object_->undoManager() : nullptr;
}

void CompositionBaseState::updateAfterUndo() {
    if (!undoDisabled() && object_) object_->updateAfterUndo();
}

std::string CompositionBaseState::description() const {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "<%s: %p>, object: %p at time: %f", className().c_str(),
                  static_cast<const void*>(this), static_cast<const void*>(object_), time_);
    std::string text = buffer;
    if (!effects_.empty())
        text += "\nEffects: " + std::to_string(effects_.size()) + "\r\nValues " +
                std::to_string(effectValues_.size());
    return text + descriptionDetails();
}

std::shared_ptr<CompositionBaseState> CompositionBaseState::copy() const {
    std::shared_ptr<CompositionBaseState> target = makeEmptyCopy();
    copyValuesInto(*target);
    return target;
}

std::shared_ptr<CompositionBaseState> CompositionBaseState::makeEmptyCopy() const {
    return makeModelObject<CompositionBaseState>(object_);
}

void CompositionBaseState::copyValuesInto(CompositionBaseState& target) const {
    target.setUndoDisabled(undoDisabled());
    target.effects_ = effects_;
    target.effectValues_ = effectValues_;
    target.time_ = time_;
    target.isDisabled_ = isDisabled_;
}

bool CompositionBaseState::acceptsUndoRegistration() const {
    if (!CompositionUndoObject::acceptsUndoRegistration()) return false;
    return !object_ || object_->registersUndoForChanges();
}

} // namespace vtl
