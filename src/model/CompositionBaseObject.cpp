#include "model/CompositionBaseObject.h"

#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "model/CompositionUndoManager.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>

namespace vtl {

namespace {

using Object = CompositionBaseObject;
const char kInspectorResetPane[] = "CompositionInspectorReset.nib";

} // namespace

StretchMode stretchModeFromNumber(int32_t number) {
    switch (number) {
    case static_cast<int32_t>(StretchMode::Scale):
        return StretchMode::Scale;
    case static_cast<int32_t>(StretchMode::ShiftSecondHalf):
        return StretchMode::ShiftSecondHalf;
    default:
        return StretchMode::Keep;
    }
}

std::string makeGloballyUniqueString() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t processSalt = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device();
    }();
    thread_local std::mt19937_64 generator(std::random_device{}() ^ processSalt);
    const uint64_t a = generator();
    const uint64_t b = generator() ^ (processSalt + counter.fetch_add(1));
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-4%03X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                  static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return text;
}

Object::CompositionBaseObject(CompositionObjectsContainer* container)
    : name_(localizedString("_CompositionBaseObject_Unnamed"))
    , uniqueID_(makeGloballyUniqueString())
    , language_(VistrelLanguage::languageWithLanguageScript(VistrelLanguage::kAllLanguages)) {
    setObjectsContainer(container);
}

Object::CompositionBaseObject(CompositionObjectsContainer* container,
                              std::shared_ptr<CompositionBaseState> baseState)
    : CompositionBaseObject(container) {
    noneAnimationState_ = std::move(baseState);
    if (noneAnimationState_) noneAnimationState_->adoptBaseObject(this);
}

Object::~CompositionBaseObject() = default;

void Object::didConstruct() {
    CompositionUndoObject::didConstruct();
    if (!noneAnimationState_) noneAnimationState_ = createNewStateForTime(0);
}

// --- Container, teardown, deletion

CompositionObjectsContainer* Object::compositionObjectsContainer() const {
    if (containerTracked_ && containerRef_.expired()) return nullptr;
    return container_;
}

void Object::setObjectsContainer(CompositionObjectsContainer* container) {
    container_ = container;
    containerRef_ = container ? container->weak_from_this() : std::weak_ptr<CompositionUndoObject>();
    containerTracked_ = !containerRef_.expired();
}

void Object::tearDown() {
    if (containerTrack_) rememberedTrack_ = containerTrack_;
    setContainerTrack(nullptr);
    if (std::shared_ptr<Object> owner = owningTrack()) owner->removeSubtrack(this);
    owningTrack_.reset();
}

void Object::prepareForDeletion() {
    if (CompositionUndoManager* manager = undoManager()) {
        if (auto self = std::static_pointer_cast<Object>(shared_from_this())) {
            manager->registerUndo(this, [self] { self->awakeAfterUndelete(); });
        }
    }
    postObjectNotification(kObjectWillBeDeletedNotification, this);
    tearDown();
    const auto dependents = dependentTracks_;
    for (const auto& dependent : dependents)
        dependent->setOwningTrack(nullptr);
}

void Object::awakeAfterUndelete() {
    std::shared_ptr<CompositionObjectsContainerTrack> track =
        containerTrack_ ? containerTrack_ : rememberedTrack_.lock();
    if (track) {
        if (containerTrack_) {
            track->addClip(std::static_pointer_cast<Object>(shared_from_this()));
        } else {
            setContainerTrack(track);
        }
    }
    CompositionUndoObject::awakeAfterUndelete();
}

// --- Time

void Object::setStartTime(double startTime) {
    const double oldSnapDuration = snapDuration();
    const double delta = startTime - startTime_;
    if (delta == 0 || std::isnan(delta)) return;
    // The change is reported around the keyframe moves, so undo restores the start after the
    // keyframes have their times back.
    willChangeValueForKey("startTime");
    startTime_ = startTime;
    stretchStates(oldSnapDuration, delta, MovedTime::Start);
    didChangeValueForKey("startTime");
    invalidate();
}

void Object::setEndTime(double endTime) {
    const double oldSnapDuration = snapDuration();
    const double delta = endTime - endTime_;
    willChangeValueForKey("endTime");
    endTime_ = endTime;
    if (delta != 0 && !std::isnan(delta)) stretchStates(oldSnapDuration, delta, MovedTime::End);
    didChangeValueForKey("endTime");
    invalidate();
}

void Object::stretchStates(double oldSnapDuration, double delta, MovedTime moved) {
    const double newSnapDuration = snapDuration();
    StateList list = states();
    if (list.empty()) return;
    if (stretchMode_ == StretchMode::Scale) {
        if (oldSnapDuration == 0) return;
        const double factor = newSnapDuration / oldSnapDuration;
        for (const auto& state : list)
            state->setTime(state->time() * factor);
    } else if (stretchMode_ == StretchMode::ShiftSecondHalf) {
        const double half = newSnapDuration * 0.5;
        for (const auto& state : list) {
            if (state->time() < half) continue;
            state->setTime(moved == MovedTime::End ? state->time() + delta : state->time() - delta);
        }
    }
}

void Object::setStartTimeEndTime(double startTime, double endTime) {
    willChangeValueForKey("startTime");
    willChangeValueForKey("endTime");
    startTime_ = startTime;
    endTime_ = endTime;
    didChangeValueForKey("endTime");
    didChangeValueForKey("startTime");
    invalidate();
}

void Object::moveSnapStartTimeByTimeValue(double delta) {
    setObservedValue("startTime", startTime_, startTime_ + delta);
    if (alsoWantsEndSetWhenMovingInTime()) setObservedValue("endTime", endTime_, endTime_ + delta);
    invalidate();
}

// A move, not a stretch: both times change together, so every keyframe keeps its time relative
// to the start whatever the stretch mode.
void Object::moveSnapStartTimeTo(double time) {
    const double d = snapStartTime() - time;
    if (d == 0 || std::isnan(d)) return;
    setStartTimeEndTime(startTime_ - d, endTime_ - d);
}

bool Object::timeOverlapsObject(const CompositionBaseObject& other) const {
    const double ownStart = snapStartTime(), ownEnd = snapEndTime();
    const double otherStart = other.snapStartTime(), otherEnd = other.snapEndTime();
    return (otherStart >= ownStart && otherStart <= ownEnd) ||
           (ownStart >= otherStart && ownStart <= otherEnd);
}

// --- Name and panes

void Object::setName(const std::string& name) {
    setObservedValue("name", name_, name);
    invalidate();
}

void Object::setPropertyNames(const std::vector<std::string>& names) {
    setObservedValue("properties", propertyNames_, names);
}

void Object::addPropertyName(const std::string& name) {
    if (std::find(propertyNames_.begin(), propertyNames_.end(), name) != propertyNames_.end()) return;
    std::vector<std::string> names = propertyNames_;
    names.push_back(name);
    setPropertyNames(names);
}

// --- Keyframe list

void Object::setNoneAnimationState(std::shared_ptr<CompositionBaseState> state) {
    noneAnimationState_ = std::move(state);
}

std::shared_ptr<CompositionBaseState> Object::noneAnimationStateOrFirstAnimationState() const {
    if (!animationEnabled_) return noneAnimationState_;
    RecursiveMutexLock lock(statesMutex_);
    return states_.empty() ? nullptr : states_.front();
}

StateList Object::states() const {
    RecursiveMutexLock lock(statesMutex_);
    return states_;
}

std::size_t Object::countOfStates() const {
    RecursiveMutexLock lock(statesMutex_);
    return states_.size();
}

std::shared_ptr<CompositionBaseState> Object::objectInStatesAtIndex(std::size_t index) const {
    RecursiveMutexLock lock(statesMutex_);
    return index < states_.size() ? states_[index] : nullptr;
}

void Object::insertObjectInStatesAtIndex(const std::shared_ptr<CompositionBaseState>& state,
                                         std::size_t index) {
    if (!state || index > countOfStates()) {
        assertionFailure(__FILE__, __LINE__, "insertObjectInStatesAtIndex: no state or index out of range");
        return;
    }
    willChange(KeyValueChangeKind::insertion, {index}, "states");
    {
        RecursiveMutexLock lock(statesMutex_);
        states_.insert(states_.begin() + static_cast<std::ptrdiff_t>(index), state);
    }
    didChange(KeyValueChangeKind::insertion, {index}, "states");
    stateAdded(state);
    invalidate();
}

void Object::removeObjectFromStatesAtIndex(std::size_t index) {
    if (index >= countOfStates()) {
        assertionFailure(__FILE__, __LINE__, "removeObjectFromStatesAtIndex: index out of range");
        return;
    }
    willChange(KeyValueChangeKind::removal, {index}, "states");
    {
        RecursiveMutexLock lock(statesMutex_);
        states_.erase(states_.begin() + static_cast<std::ptrdiff_t>(index));
    }
    didChange(KeyValueChangeKind::removal, {index}, "states");
    invalidate();
}

void Object::setStates(const StateList& list) {
    willChangeValueForKey("states");
    {
        RecursiveMutexLock lock(statesMutex_);
        states_ = list;
    }
    didChangeValueForKey("states");
    recacheNamesOfAllUsedEffects();
}

void Object::setStatesTriggeredStates(StateList list, TriggeredStateList triggered) {
    {
        RecursiveMutexLock lock(statesMutex_);
        states_ = std::move(list);
    }
    triggeredStates_ = std::move(triggered);
}

void Object::addNewState(const std::shared_ptr<CompositionBaseState>& state) {
    if (!state) return;
    insertObjectInStatesAtIndex(state, indexForState(*state));
}

void Object::removeState(const std::shared_ptr<CompositionBaseState>& state) {
    if (state && state == noneAnimationState_) {
        logMessage("attempt to remove noneAnimationState!");
        return;
    }
    RecursiveMutexLock lock(statesMutex_);
    auto it = std::find(states_.begin(), states_.end(), state);
    if (!state || it == states_.end()) {
        logMessage("attempt to remove state that is not in states");
        return;
    }
    removeObjectFromStatesAtIndex(static_cast<std::size_t>(it - states_.begin()));
}

void Object::removeAllStates() {
    RecursiveMutexLock lock(statesMutex_);
    for (std::size_t i = states_.size(); i > 0; --i)
        removeObjectFromStatesAtIndex(i - 1);
}

void Object::removeAllStatesExcept(const std::set<std::size_t>& keptIndexes) {
    RecursiveMutexLock lock(statesMutex_);
    for (std::size_t i = states_.size(); i > 0; --i) {
        if (!keptIndexes.count(i - 1)) removeObjectFromStatesAtIndex(i - 1);
    }
}

void Object::removeAndReinsertState(const std::shared_ptr<CompositionBaseState>& state) {
    RecursiveMutexLock lock(statesMutex_);
    auto it = std::find(states_.begin(), states_.end(), state);
    if (!state || it == states_.end()) {
        logMessage("unknown state");
        return;
    }
    states_.erase(it);
    states_.insert(states_.begin() + static_cast<std::ptrdiff_t>(indexForState(*state)), state);
}

void Object::shiftAllStatesBy(double delta) {
    for (const auto& state : states())
        state->setTime(state->time() + delta);
}

bool Object::listsState(const CompositionBaseState& state) const {
    if (noneAnimationState_.get() == &state) return true;
    RecursiveMutexLock lock(statesMutex_);
    return std::any_of(states_.begin(), states_.end(),
                       [&](const auto& member) { return member.get() == &state; });
}

bool Object::listsTriggeredState(const CompositionBaseTriggeredState& state) const {
    return std::any_of(triggeredStates_.begin(), triggeredStates_.end(),
                       [&](const auto& member) { return member.get() == &state; });
}

bool Object::canMoveState(const std::shared_ptr<CompositionBaseState>& state) const {
    return state != noneAnimationState_;
}

std::shared_ptr<CompositionBaseState> Object::newStateOfStateClass() {
    return makeModelObject<CompositionBaseState>(this);
}

// --- Animation switch

void Object::setAnimationEnabled(bool enabled) {
    std::vector<std::string> panes = propertyNames_;
    auto found = std::find(panes.begin(), panes.end(), kInspectorResetPane);
    if (enabled && found == panes.end()) {
        // A list shorter than three panes gets the reset pane at its end.
        panes.insert(panes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(3, panes.size())),
                     kInspectorResetPane);
        setPropertyNames(panes);
    } else if (!enabled && found != panes.end()) {
        panes.erase(found);
        setPropertyNames(panes);
    }
    setObservedValue("animationEnabled", animationEnabled_, enabled);
    NotificationCenter::defaultCenter().post(kObjectAnimationEnabledChangedNotification,
                                             compositionObjectsContainer());
    invalidate();
}

void Object::enableAnimations() {
    if (!animationEnabled_) setAnimationEnabled(true);
}

void Object::disableAnimations() {
    if (animationEnabled_) setAnimationEnabled(false);
}

void Object::toggleAnimationEnabled() {
    if (animationEnabled_) {
        disableAnimations();
    } else {
        enableAnimations();
    }
}

// --- Triggered states

std::shared_ptr<CompositionBaseTriggeredState>
Object::objectInTriggeredStatesAtIndex(std::size_t index) const {
    return index < triggeredStates_.size() ? triggeredStates_[index] : nullptr;
}

void Object::insertObjectInTriggeredStatesAtIndex(const std::shared_ptr<CompositionBaseTriggeredState>& state,
                                                  std::size_t index) {
    if (!state || index > triggeredStates_.size()) return;
    willChange(KeyValueChangeKind::insertion, {index}, "triggeredStates");
    triggeredStates_.insert(triggeredStates_.begin() + static_cast<std::ptrdiff_t>(index), state);
    didChange(KeyValueChangeKind::insertion, {index}, "triggeredStates");
    invalidate();
}

void Object::removeObjectFromTriggeredStatesAtIndex(std::size_t index) {
    if (index >= triggeredStates_.size()) return;
    willChange(KeyValueChangeKind::removal, {index}, "triggeredStates");
    triggeredStates_.erase(triggeredStates_.begin() + static_cast<std::ptrdiff_t>(index));
    didChange(KeyValueChangeKind::removal, {index}, "triggeredStates");
    invalidate();
}

// --- Track and language

void Object::setContainerTrack(const std::shared_ptr<CompositionObjectsContainerTrack>& track) {
    if (track == containerTrack_) return;
    willChangeValueForKey("containerTrack");
    if (containerTrack_) containerTrack_->removeClip(this);
    containerTrack_ = track;
    if (track) {
        rememberedTrack_ = track;
        track->addClip(std::static_pointer_cast<Object>(shared_from_this()));
    }
    didChangeValueForKey("containerTrack");
    if (track) invalidate();
    NotificationCenter::defaultCenter().post(kObjectTrackChangedNotification, compositionObjectsContainer());
}

void Object::removeFromContainerTrack() {
    if (containerTrack_) containerTrack_->removeClip(this);
}

void Object::setVistrelLanguage(const std::shared_ptr<VistrelLanguage>& language) {
    setObservedValue("languageScript", language_,
                     language ? language
                              : VistrelLanguage::languageWithLanguageScript(VistrelLanguage::kAllLanguages));
    cachedLanguageName_.clear();
    if (undoDisabled()) return;
    postObjectNotification("VistrelObjectLanguageChangedNotification", this);
    invalidate();
}

int32_t Object::languageScriptCode() const {
    return language_ ? language_->languageScript() : VistrelLanguage::kAllLanguages;
}

std::string Object::languageName() const {
    if (cachedLanguageName_.empty() && language_) cachedLanguageName_ = language_->name();
    return cachedLanguageName_;
}

// --- Dependent tracks

void Object::postObjectNotification(const std::string& name, const CompositionBaseObject* subject) const {
    NotificationUserInfo info;
    if (subject) {
        if (auto shared = std::const_pointer_cast<CompositionBaseObject>(
                std::static_pointer_cast<const CompositionBaseObject>(subject->shared_from_this()))) {
            info[kCompositionObjectKey] = shared;
        }
    }
    NotificationCenter::defaultCenter().post(name, compositionObjectsContainer(), std::move(info));
}

void Object::setOwningTrack(const std::shared_ptr<CompositionBaseObject>& owner) {
    willChangeValueForKey("owningTrack");
    owningTrack_ = owner;
    didChangeValueForKey("owningTrack");
    postObjectNotification(kObjectDependencyStatusMightHaveChangedNotification, this);
}

bool Object::isDependentTrack(const CompositionBaseObject* object) const {
    return std::any_of(dependentTracks_.begin(), dependentTracks_.end(),
                       [&](const auto& member) { return member.get() == object; });
}

std::shared_ptr<CompositionBaseObject> Object::objectInDependentTracksAtIndex(std::size_t index) const {
    return index < dependentTracks_.size() ? dependentTracks_[index] : nullptr;
}

void Object::insertObjectInDependentTracksAtIndex(const std::shared_ptr<CompositionBaseObject>& object,
                                                  std::size_t index) {
    if (!object || index > dependentTracks_.size()) return;
    willChange(KeyValueChangeKind::insertion, {index}, "dependentTracks");
    dependentTracks_.insert(dependentTracks_.begin() + static_cast<std::ptrdiff_t>(index), object);
    didChange(KeyValueChangeKind::insertion, {index}, "dependentTracks");
    postObjectNotification(kObjectDependencyStatusMightHaveChangedNotification, object.get());
    object->setOwningTrack(std::static_pointer_cast<CompositionBaseObject>(shared_from_this()));
}

void Object::removeObjectFromDependentTracksAtIndex(std::size_t index) {
    if (index >= dependentTracks_.size()) return;
    std::shared_ptr<CompositionBaseObject> removed = dependentTracks_[index];
    willChange(KeyValueChangeKind::removal, {index}, "dependentTracks");
    dependentTracks_.erase(dependentTracks_.begin() + static_cast<std::ptrdiff_t>(index));
    didChange(KeyValueChangeKind::removal, {index}, "dependentTracks");
    postObjectNotification(kObjectDependencyStatusMightHaveChangedNotification, removed.get());
}

void Object::addDependentTrack(const std::shared_ptr<CompositionBaseObject>& object) {
    if (!object) return;
    if (std::shared_ptr<CompositionBaseObject> previous = object->owningTrack()) {
        previous->removeSubtrack(object.get());
        object->setOwningTrack(nullptr);
    }
    insertObjectInDependentTracksAtIndex(object, dependentTracks_.size());
}

void Object::removeSubtrack(const CompositionBaseObject* object) {
    for (std::size_t i = 0; i < dependentTracks_.size(); ++i) {
        if (dependentTracks_[i].get() == object) {
            removeObjectFromDependentTracksAtIndex(i);
            return;
        }
    }
}

void Object::removeAllDependentTracks() {
    const auto snapshot = dependentTracks_;
    for (const auto& member : snapshot)
        removeSubtrack(member.get());
}

bool Object::canBecomeOwnerOfObject(const CompositionBaseObject& object) const {
    if (isSubtrack()) return false;
    if (isDependentTrack(&object)) return false;
    if (object.isSubtrack()) return false;
    if (object.hasDependentTracks()) return false;
    return true;
}

// --- Metadata and identity

void Object::setMetaDataObject(const PropertyList& value, const std::string& key) {
    if (!metaData_) metaData_.emplace();
    metaData_->set(key, value);
    invalidate();
}

const PropertyList* Object::metaDataObjectForKey(const std::string& key) const {
    return metaData_ ? metaData_->find(key) : nullptr;
}

void Object::setOriginalObjectUniqueID(const std::string& identifier) {
    if (!originalObjectUniqueID_.empty())
        logMessage("originalObjectUniqueID was not nil. Overwriting anyway.");
    originalObjectUniqueID_ = identifier;
}

void Object::regenerateIDAndSetOld(const std::string& oldIdentifier) {
    originalObjectUniqueID_ = oldIdentifier;
    uniqueID_ = makeGloballyUniqueString();
}

// --- Change reporting and undo

void Object::invalidate() {
    if (!postsChangeNotifications() || undoDisabled()) return;
    NotificationUserInfo info;
    if (auto self = weak_from_this().lock())
        info[kCompositionChangedObjectKey] = std::static_pointer_cast<Object>(self);
    NotificationCenter::defaultCenter().post(kObjectChangedNotification, compositionObjectsContainer(),
                                             std::move(info));
}

CompositionUndoManager* Object::undoManager() const {
    CompositionObjectsContainer* container = compositionObjectsContainer();
    return container ? container->undoManager() : nullptr;
}

void Object::updateAfterUndo() {
    if (undoDisabled()) return;
    invalidate();
    if (CompositionObjectsContainer* container = compositionObjectsContainer()) container->updateAfterUndo();
}

bool Object::acceptsUndoRegistration() const {
    if (undoDisabled()) return false;
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (container && (container->undoDisabled() || container->isOffscreen())) return false;
    return true;
}

std::string Object::startEndTimeDescriptionString() const {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "from %f to %f", startTime_, endTime_);
    return buffer;
}

std::string Object::description() const {
    char buffer[128];
    const std::string trackText = containerTrack_ ? containerTrack_->description() : std::string("(null)");
    std::snprintf(buffer, sizeof buffer, "<%s: %p> %s on track ", className().c_str(),
                  static_cast<const void*>(this), startEndTimeDescriptionString().c_str());
    std::string text = buffer + trackText;
    StateList list = states();
    for (std::size_t i = 0; i < list.size(); ++i) {
        text += "\n -> State " + std::to_string(i) + ": " + list[i]->description();
    }
    for (std::size_t i = 0; i < triggeredStates_.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "\n -> Triggered State %zu: %p", i,
                      static_cast<const void*>(triggeredStates_[i].get()));
        text += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "\nOwning Track: %p", static_cast<const void*>(owningTrack().get()));
    text += buffer;
    if (!dependentTracks_.empty()) {
        text += "\nDependent Tracks:\n";
        for (const auto& member : dependentTracks_) {
            std::snprintf(buffer, sizeof buffer, "%p ", static_cast<const void*>(member.get()));
            text += buffer;
        }
    }
    return text;
}

// --- Copying

std::shared_ptr<CompositionBaseObject> Object::copy() const {
    std::shared_ptr<CompositionBaseState> baseState =
        noneAnimationState_ ? noneAnimationState_->copy() : nullptr;
    std::shared_ptr<CompositionBaseObject> target = makeEmptyCopy(baseState);
    copyValuesInto(*target);
    return target;
}

std::shared_ptr<CompositionBaseObject>
Object::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionBaseObject>(compositionObjectsContainer(), std::move(baseState));
}

// A copy is not yet in the composition: its values are written directly, so making it registers
// no undo and posts nothing.
void Object::copyValuesInto(CompositionBaseObject& target) const {
    target.setUndoDisabled(undoDisabled());
    target.startTime_ = startTime_;
    target.endTime_ = endTime_;
    CompositionObjectsContainer* container = compositionObjectsContainer();
    target.name_ = container ? container->nameOfCopyForObject(*this) : name_;
    StateList copies;
    for (const auto& state : states()) {
        std::shared_ptr<CompositionBaseState> stateCopy = state->copy();
        stateCopy->adoptBaseObject(&target);
        copies.push_back(std::move(stateCopy));
    }
    target.propertyNames_ = propertyNames_;
    target.language_ = language_;
    // The copy joins the same track directly: it is not yet in the composition.
    if (containerTrack_) {
        target.containerTrack_ = containerTrack_;
        target.rememberedTrack_ = containerTrack_;
        containerTrack_->addClip(std::static_pointer_cast<Object>(target.shared_from_this()));
    }
    TriggeredStateList triggeredCopies;
    for (const auto& state : triggeredStates_) {
        std::shared_ptr<CompositionBaseTriggeredState> stateCopy = state->copy();
        stateCopy->setObject(&target);
        triggeredCopies.push_back(std::move(stateCopy));
    }
    target.setStatesTriggeredStates(std::move(copies), std::move(triggeredCopies));
    if (animationEnabled_ && !target.animationEnabled_) {
        auto& panes = target.propertyNames_;
        if (std::find(panes.begin(), panes.end(), kInspectorResetPane) == panes.end()) {
            panes.insert(panes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(3, panes.size())),
                         kInspectorResetPane);
        }
        target.animationEnabled_ = true;
    }
    target.recacheNamesOfAllUsedEffects();
    target.originalObjectUniqueID_ = originalObjectUniqueID_.empty() ? uniqueID_ : originalObjectUniqueID_;
    target.stretchMode_ = stretchMode_;
}

// --- Keys

const ModelKeyTable<Object>& Object::keyValueTable() {
    // Undo puts the times back directly: the keyframes restore their own times, so no stretching.
    auto restoreTime = [](double Object::*field, const char* key) {
        return [field, key](Object& object, double time) {
            object.setObservedValue(key, object.*field, time);
            object.invalidate();
        };
    };
    static const auto table =
        ModelKeyTable<Object>()
            .undoable("startTime", &Object::startTime, restoreTime(&Object::startTime_, "startTime"))
            .undoable("endTime", &Object::endTime, restoreTime(&Object::endTime_, "endTime"))
            .undoable("snapStartTime", &Object::snapStartTime, &Object::setSnapStartTime)
            .undoable("snapEndTime", &Object::snapEndTime, nullptr)
            .undoable("owningTrack", &Object::owningTrack, &Object::setOwningTrack)
            .undoableToMany("dependentTracks", &Object::countOfDependentTracks,
                            &Object::objectInDependentTracksAtIndex,
                            &Object::insertObjectInDependentTracksAtIndex,
                            &Object::removeObjectFromDependentTracksAtIndex)
            .undoableToMany("triggeredStates", &Object::countOfTriggeredStates,
                            &Object::objectInTriggeredStatesAtIndex,
                            &Object::insertObjectInTriggeredStatesAtIndex,
                            &Object::removeObjectFromTriggeredStatesAtIndex)
            .undoableToMany("states", &Object::countOfStates, &Object::objectInStatesAtIndex,
                            &Object::insertObjectInStatesAtIndex, &Object::removeObjectFromStatesAtIndex,
                            &Object::states, &Object::setStates)
            .undoable("animationEnabled", &Object::isAnimationEnabled, &Object::setAnimationEnabled)
            .undoable("name", &Object::name, &Object::setName)
            .undoable("containerTrack", &Object::containerTrack, &Object::setContainerTrack)
            .undoable("languageScript", &Object::vistrelLanguage, &Object::setVistrelLanguage)
            .property("properties", &Object::propertyNames, &Object::setPropertyNames);
    return table;
}

} // namespace vtl
