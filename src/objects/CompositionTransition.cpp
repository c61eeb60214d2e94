// CompositionTransition: the two objects and their links, the times kept in step with them, the
// type with its filters and the stored parameter values, undo, copying, archiving and removal.

#include "objects/CompositionTransition.h"

#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "objects/TransitionValues.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/imaging/CIFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace vtl {

namespace {

using Transition = CompositionTransition;

constexpr const char* generalPane = "TransitionProperties.nib";
constexpr const char* colorKey = "transitionColor";
constexpr double blurDissolvePresetRadius = 20;

CompositionRectangularObject* rectangular(const std::shared_ptr<CompositionBaseObject>& object) {
    return dynamic_cast<CompositionRectangularObject*>(object.get());
}

// An object a transition may join: one with a frame on the canvas that is no transition.
bool canBeJoined(const std::shared_ptr<CompositionBaseObject>& object) {
    return object && rectangular(object) && !object->isTransition();
}

std::shared_ptr<CompositionBaseObject> decodeJoinedObject(KeyedUnarchiver& coder, std::string_view key) {
    if (!coder.containsValueForKey(key)) return nullptr;
    ArchivedValue value = coder.decodeObjectForKey(key);
    return value.isNil() ? nullptr : value.objectAs<CompositionBaseObject>();
}

PlistDictionary decodeValues(KeyedUnarchiver& coder, std::string_view key) {
    PlistDictionary values;
    if (std::optional<ArchivedDictionary> archived = coder.decodeDictionaryForKey(key)) {
        PropertyList converted = ArchivedValue(*archived).toPropertyList();
        if (const PlistDictionary* dictionary = converted.dictionaryValue()) values = *dictionary;
    }
    return values;
}

} // namespace

const TransitionTypeDescription* Transition::descriptionOfType(int32_t type) {
    static const std::vector<TransitionTypeDescription> types = {
        {"CIDissolveTransition", "", {generalPane}},
        {"CICopyMachineTransition", "", {generalPane, "CopyMachineTransition.nib"}},
        {"CIPageCurlTransition", "CIColorControls", {generalPane, "CurlTransition.nib"}},
        {"CIRippleTransition", "", {generalPane, "RippleTransition.nib"}},
        {"ColorTransition", "", {generalPane, "ColorTransitionSettings.nib"}},
        {"CIBarsSwipeTransition", "", {generalPane, "BarSwipeTransition.nib"}},
        {"CIDissolveTransition", "CIGaussianBlur", {generalPane, "BlurDissolveTransition.nib"}},
        {"CIPageCurlWithShadowTransition", "CIColorControls", {generalPane, "CurlWithShadowTransition.nib"}},
    };
    if (type < 0 || type >= static_cast<int32_t>(types.size())) return nullptr;
    return &types[static_cast<std::size_t>(type)];
}

const ModelKeyTable<CompositionTransition>& Transition::keyValueTable() {
    static const auto table =
        ModelKeyTable<Transition>()
            .undoable("transitionStartTime", &Transition::transitionStartTime,
                      &Transition::setTransitionStartTime)
            .undoable("transitionEndTime", &Transition::transitionEndTime, &Transition::setTransitionEndTime)
            .undoable("fromObject", &Transition::fromObject, &Transition::setFromObject)
            .undoable("toObject", &Transition::toObject, &Transition::setToObject)
            .undoable("transitionType", &Transition::transitionType, &Transition::setTransitionType);
    return table;
}

Transition::CompositionTransition(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {}

Transition::CompositionTransition(CompositionObjectsContainer* container,
                                  std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState)) {}

Transition::~CompositionTransition() = default;

void Transition::didConstruct() {
    CompositionRectangularObject::didConstruct();
    applyType(transitionType(), Registration::Silent);
}

std::shared_ptr<CompositionTransition>
Transition::transitionWithObjects(const std::shared_ptr<CompositionBaseObject>& from,
                                  const std::shared_ptr<CompositionBaseObject>& to,
                                  CompositionObjectsContainer* container) {
    auto transition = makeModelObject<CompositionTransition>(container);
    transition->setFromObject(from);
    transition->setToObject(to);
    return transition;
}

CompositionRectangularObject* Transition::from() const {
    auto object = fromObject();
    return rectangular(object);
}

CompositionRectangularObject* Transition::to() const {
    auto object = toObject();
    return rectangular(object);
}

// --- The two objects

void Transition::setObjectLink(const std::shared_ptr<CompositionBaseObject>& object, bool outgoing) {
    CompositionRectangularObject* joined = rectangular(object);
    if (!joined) return;
    auto self = std::static_pointer_cast<CompositionBaseObject>(shared_from_this());
    if (outgoing) {
        if (joined->toTransition() != self) joined->setToTransition(self);
    } else if (joined->fromTransition() != self) {
        joined->setFromTransition(self);
    }
}

void Transition::setFromObject(const std::shared_ptr<CompositionBaseObject>& object) {
    if (object && (!canBeJoined(object) || object == toObject())) {
        logMessage("Refused a from-object that a transition cannot join.");
        return;
    }
    willChangeValueForKey("fromObject");
    fromObject_ = object;
    didChangeValueForKey("fromObject");
    setObjectLink(object, true);
    setupTimes();
}

void Transition::setToObject(const std::shared_ptr<CompositionBaseObject>& object) {
    if (object && (!canBeJoined(object) || object == fromObject())) {
        logMessage("Refused a to-object that a transition cannot join.");
        return;
    }
    willChangeValueForKey("toObject");
    toObject_ = object;
    didChangeValueForKey("toObject");
    setObjectLink(object, false);
    setupTimes();
}

// A link of the current object that leads to another transition belongs to that transition and
// is left alone.
void Transition::changeFromObjectTo(const std::shared_ptr<CompositionBaseObject>& object) {
    CompositionRectangularObject* current = from();
    if (current && current->toTransition().get() == this) return;
    setFromObject(object);
}

void Transition::changeToObjectTo(const std::shared_ptr<CompositionBaseObject>& object) {
    CompositionRectangularObject* current = to();
    if (current && current->fromTransition().get() == this) return;
    setToObject(object);
}

// --- Times

double Transition::transitionStartTimeInGlobalTime() const {
    const CompositionRectangularObject* object = from();
    return (object ? object->snapStartTime() : startTime() - transitionStartTime_) + transitionStartTime_;
}

double Transition::transitionEndTimeInGlobalTime() const {
    const CompositionRectangularObject* object = to();
    return (object ? object->snapStartTime() : startTime()) + transitionEndTime_;
}

double Transition::latestGlobalStartTime() const {
    const CompositionRectangularObject* object = from();
    return object ? object->snapEndTime() : endTime();
}

double Transition::earliestGlobalEndTime() const {
    const CompositionRectangularObject* object = to();
    return object ? object->snapStartTime() : startTime();
}

void Transition::setTransitionStartTime(double seconds) {
    if (!std::isfinite(seconds)) {
        logMessage("Refused a transition start that is not a finite number.");
        return;
    }
    setObservedValue("transitionStartTime", transitionStartTime_, seconds);
    invalidate();
}

void Transition::setTransitionEndTime(double seconds) {
    if (!std::isfinite(seconds)) {
        logMessage("Refused a transition end that is not a finite number.");
        return;
    }
    setObservedValue("transitionEndTime", transitionEndTime_, seconds);
    invalidate();
}

void Transition::setTransitionStartTimeInGlobalTime(double compositionTime) {
    const CompositionRectangularObject* object = from();
    if (!object || !(startTime() <= compositionTime && compositionTime <= transitionEndTimeInGlobalTime()))
        return;
    setTransitionStartTime(compositionTime - object->snapStartTime());
}

void Transition::setTransitionEndTimeInGlobalTime(double compositionTime) {
    const CompositionRectangularObject* object = to();
    if (!object || !(transitionStartTimeInGlobalTime() <= compositionTime && compositionTime <= endTime()))
        return;
    setTransitionEndTime(compositionTime - object->snapStartTime());
}

void Transition::validateTransitionStartEnd(double& start, double& end) const {
    const CompositionRectangularObject* f = from();
    const CompositionRectangularObject* t = to();
    if (!f || !t) return;
    if (!std::isfinite(start)) start = 0;
    if (!std::isfinite(end)) end = 0;
    start = std::clamp(start, 0.0, std::max(0.0, f->snapDuration()));
    end = std::clamp(end, 0.0, std::max(0.0, t->snapDuration()));
    const double earliestEnd = f->snapStartTime() + start - t->snapStartTime();
    if (end < earliestEnd) end = earliestEnd;
}

void Transition::setupTimes() {
    const CompositionRectangularObject* f = from();
    const CompositionRectangularObject* t = to();
    if (!f || !t) return;
    const double end = f->snapEndTime();
    const double start = t->snapStartTime();
    const double overlap = end - start;
    if (std::abs(startTime_ - start) > timeToleranceSeconds) setObservedValue("startTime", startTime_, start);
    if (std::abs(endTime_ - end) > timeToleranceSeconds) setObservedValue("endTime", endTime_, end);
    // While undo or redo replays a step, the relative times come back through steps of their own;
    // deriving them here would overwrite what the user had set.
    if (CompositionUndoManager* manager = undoManager();
        manager && (manager->isUndoing() || manager->isRedoing()))
        return;
    const double relativeStart = start - f->snapStartTime();
    if (std::abs(transitionStartTime_ - relativeStart) > timeToleranceSeconds)
        setTransitionStartTime(relativeStart);
    if (std::abs(transitionEndTime_ - overlap) > timeToleranceSeconds) setTransitionEndTime(overlap);
}

double Transition::progressAtTime(double compositionTime) const {
    const double duration = transitionDuration();
    // A transition without length has already happened.
    if (!(duration > 0)) return 1;
    const double progress = (compositionTime - transitionStartTimeInGlobalTime()) / duration;
    if (std::isnan(progress)) return 1;
    return std::clamp(progress, 0.0, 1.0);
}

bool Transition::needsToDrawAtTime(double compositionTime) const {
    return transitionStartTimeInGlobalTime() <= compositionTime &&
           compositionTime <= transitionEndTimeInGlobalTime();
}

Rect Transition::rectForTime(double) const {
    const Size canvas = originalSize();
    return Rect(0, 0, canvas.width, canvas.height);
}

Size Transition::originalSize() const {
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    return container ? container->canvasSize() : Size{1280, 720};
}

// --- Type and values

void Transition::setTransitionType(int32_t type) {
    applyType(type, Registration::Undoable);
}

void Transition::applyType(int32_t type, Registration registration) {
    if (registration == Registration::Undoable) willChangeValueForKey("transitionType");
    transitionType_.store(type);
    if (registration == Registration::Undoable) didChangeValueForKey("transitionType");
    const TransitionTypeDescription* description = descriptionOfType(type);
    if (!description) logMessage("A transition of unknown type " + std::to_string(type) + " draws nothing.");
    if (registration == Registration::Undoable) {
        setPropertyNames(description ? description->propertyNames : std::vector<std::string>{generalPane});
    } else {
        propertyNames_ = description ? description->propertyNames : std::vector<std::string>{generalPane};
    }
    rebuildInspectedFilter();
    if (type == static_cast<int32_t>(TransitionType::BlurDissolve))
        storeHelperValue(PropertyList(blurDissolvePresetRadius), "inputRadius", registration);
    if (registration == Registration::Undoable) CompositionRectangularObject::invalidate();
}

// The colour of colour transitions is one for the whole program: only setting the value changes
// it, never rebuilding a filter.
void Transition::rebuildInspectedFilter() {
    inspectedFilter_.reset();
    const TransitionTypeDescription* description = descriptionOfType(transitionType());
    if (!description) return;
    inspectedFilter_ = detail::makeTransitionFilter(*description, transitionType(), filterValues(),
                                                    detail::ColourHandling::Skip);
}

PropertyList Transition::filterValueForKey(const std::string& key) const {
    if (!inspectedFilter_ || !inspectedFilter_->hasInput(key)) return {};
    return detail::storedFormOfFilterValue(inspectedFilter_->value(key));
}

PropertyList Transition::helperFilterValueForKey(const std::string& key) const {
    MutexLock lock(valuesMutex_);
    const PropertyList* value = helperFilterValues_.find(key);
    return value ? *value : PropertyList();
}

PlistDictionary Transition::filterValues() const {
    MutexLock lock(valuesMutex_);
    return filterValues_;
}

PlistDictionary Transition::helperFilterValues() const {
    MutexLock lock(valuesMutex_);
    return helperFilterValues_;
}

void Transition::setFilterValue(const PropertyList& value, const std::string& key) {
    storeFilterValue(value, key, Registration::Undoable);
}

void Transition::setHelperFilterValue(const PropertyList& value, const std::string& key) {
    storeHelperValue(value, key, Registration::Undoable);
}

void Transition::storeFilterValue(const PropertyList& value, const std::string& key,
                                  Registration registration) {
    if (!detail::isStorableTransitionValue(value)) {
        logMessage("Refused the transition value " + key + ": it is not a finite number, colour or vector.");
        return;
    }
    if (inspectedFilter_ && inspectedFilter_->hasInput(key) &&
        !detail::filterValueFromStoredForm(value, *inspectedFilter_->attributes().input(key))) {
        logMessage("Refused the transition value " + key + ": it is not of the kind the filter takes.");
        return;
    }
    std::optional<PropertyList> previous;
    {
        MutexLock lock(valuesMutex_);
        if (const PropertyList* stored = filterValues_.find(key)) previous = *stored;
        filterValues_.set(key, value);
    }
    if (registration == Registration::Undoable) {
        if (CompositionUndoManager* manager = registersUndoForChanges() ? undoManager() : nullptr) {
            std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
            manager->registerUndo(this, [weakSelf, key, previous] {
                if (auto self = std::dynamic_pointer_cast<Transition>(weakSelf.lock()))
                    self->restoreFilterValue(key, previous ? &*previous : nullptr);
            });
        }
    }
    rebuildInspectedFilter();
    if (key == colorKey && inspectedFilter_ && inspectedFilter_->hasInput(key)) {
        if (auto colour =
                detail::filterValueFromStoredForm(value, *inspectedFilter_->attributes().input(key)))
            inspectedFilter_->setValue(key, *colour);
    }
    if (registration == Registration::Undoable) CompositionRectangularObject::invalidate();
}

// Undo puts back exactly what was stored, absence included.
void Transition::restoreFilterValue(const std::string& key, const PropertyList* previous) {
    if (previous) {
        storeFilterValue(*previous, key, Registration::Undoable);
        return;
    }
    std::optional<PropertyList> removed;
    {
        MutexLock lock(valuesMutex_);
        if (const PropertyList* stored = filterValues_.find(key)) removed = *stored;
        filterValues_.remove(key);
    }
    if (removed) {
        if (CompositionUndoManager* manager = registersUndoForChanges() ? undoManager() : nullptr) {
            std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
            manager->registerUndo(this, [weakSelf, key, removed] {
                if (auto self = std::dynamic_pointer_cast<Transition>(weakSelf.lock()))
                    self->restoreFilterValue(key, &*removed);
            });
        }
    }
    rebuildInspectedFilter();
    CompositionRectangularObject::invalidate();
}

void Transition::storeHelperValue(const PropertyList& value, const std::string& key,
                                  Registration registration) {
    if (!detail::isStorableTransitionValue(value)) {
        logMessage("Refused the transition helper value " + key +
                   ": it is not a finite number, colour or vector.");
        return;
    }
    std::optional<PropertyList> previous;
    {
        MutexLock lock(valuesMutex_);
        if (const PropertyList* stored = helperFilterValues_.find(key)) previous = *stored;
        helperFilterValues_.set(key, value);
    }
    if (registration == Registration::Undoable) {
        if (CompositionUndoManager* manager = registersUndoForChanges() ? undoManager() : nullptr) {
            std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
            manager->registerUndo(this, [weakSelf, key, previous] {
                if (auto self = std::dynamic_pointer_cast<Transition>(weakSelf.lock()))
                    self->restoreHelperValue(key, previous ? &*previous : nullptr);
            });
        }
        CompositionRectangularObject::invalidate();
    }
}

void Transition::restoreHelperValue(const std::string& key, const PropertyList* previous) {
    if (previous) {
        storeHelperValue(*previous, key, Registration::Undoable);
        return;
    }
    std::optional<PropertyList> removed;
    {
        MutexLock lock(valuesMutex_);
        if (const PropertyList* stored = helperFilterValues_.find(key)) removed = *stored;
        helperFilterValues_.remove(key);
    }
    if (removed) {
        if (CompositionUndoManager* manager = registersUndoForChanges() ? undoManager() : nullptr) {
            std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
            manager->registerUndo(this, [weakSelf, key, removed] {
                if (auto self = std::dynamic_pointer_cast<Transition>(weakSelf.lock()))
                    self->restoreHelperValue(key, &*removed);
            });
        }
    }
    CompositionRectangularObject::invalidate();
}

PlistDictionary Transition::serializedSettings() const {
    PlistDictionary settings;
    settings.set("transitionType", PropertyList(static_cast<std::int64_t>(transitionType())));
    settings.set("filterValues", PropertyList(filterValues()));
    settings.set("helperFilterValues", PropertyList(helperFilterValues()));
    return settings;
}

void Transition::configureFromSerializedSettings(const PlistDictionary& settings) {
    CompositionUndoManager* manager = undoManager();
    if (manager) manager->beginUndoGrouping();
    const PropertyList* type = settings.find("transitionType");
    const std::optional<double> number = type ? type->numberValue() : std::nullopt;
    if (number && std::isfinite(*number) && *number == std::trunc(*number) && *number >= INT32_MIN &&
        *number <= INT32_MAX) {
        setTransitionType(static_cast<int32_t>(*number));
    } else {
        logMessage("Pasted transition settings name no type; the type stays.");
    }
    auto apply = [&](const char* mapKey, void (Transition::*set)(const PropertyList&, const std::string&)) {
        const PropertyList* map = settings.find(mapKey);
        const PlistDictionary* values = map ? map->dictionaryValue() : nullptr;
        if (!values) return;
        for (const auto& [key, value] : *values)
            (this->*set)(value, key);
    };
    apply("filterValues", &Transition::setFilterValue);
    apply("helperFilterValues", &Transition::setHelperFilterValue);
    if (manager) manager->endUndoGrouping();
}

// --- Answers of the kind

std::vector<std::string> Transition::undoKeyPaths() const {
    std::vector<std::string> keys = ModelKeyCoding::undoKeyPaths();
    std::erase_if(keys, [](const std::string& key) { return key == "startTime" || key == "endTime"; });
    return keys;
}

std::vector<std::string> Transition::additionalInvalidateKeys() const {
    std::vector<std::string> keys = CompositionRectangularObject::additionalInvalidateKeys();
    keys.push_back("transitionStartTime");
    keys.push_back("transitionEndTime");
    return keys;
}

std::string Transition::description() const {
    std::string text = CompositionRectangularObject::description();
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "\n transitions from: %p",
                  static_cast<const void*>(fromObject().get()));
    text += buffer;
    std::snprintf(buffer, sizeof buffer, "\n transitions to:   %p",
                  static_cast<const void*>(toObject().get()));
    text += buffer;
    return text;
}

// --- Removal and lifecycle

void Transition::invalidate() {
    if (postsChangeNotifications() && !undoDisabled()) {
        NotificationUserInfo info;
        if (auto self = weak_from_this().lock())
            info[kCompositionChangedObjectKey] =
                std::static_pointer_cast<CompositionBaseObject>(std::static_pointer_cast<Transition>(self));
        NotificationCenter::defaultCenter().post(kObjectTransitionTimesChangedNotification, this,
                                                 std::move(info));
    }
    CompositionRectangularObject::invalidate();
}

void Transition::remove() {
    // The container may hold the last reference.
    auto keepAlive = shared_from_this();
    if (const auto& track = containerTrack()) track->removeClip(this);
    if (CompositionObjectsContainer* container = compositionObjectsContainer()) container->removeObject(this);
}

bool Transition::objectsAreApart() const {
    const CompositionRectangularObject* f = from();
    const CompositionRectangularObject* t = to();
    return f && t && f->snapEndTime() < t->snapStartTime();
}

void Transition::removeIfNecessary() {
    if (objectsAreApart()) remove();
}

void Transition::removeLaterIfApart() {
    if (removalPending_ || invalidated_ || !objectsAreApart()) return;
    if (CompositionUndoManager* manager = undoManager();
        manager && (manager->isUndoing() || manager->isRedoing()))
        return;
    removalPending_ = true;
    std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
    DispatchQueue::mainQueue()->async([weakSelf] {
        auto self = std::dynamic_pointer_cast<Transition>(weakSelf.lock());
        if (!self) return;
        self->removalPending_ = false;
        const CompositionObjectsContainer* container = self->compositionObjectsContainer();
        if (self->invalidated_ || !container || !container->containsObject(self.get())) return;
        self->removeIfNecessary();
    });
}

void Transition::invalidateTransitionAndRemoveFromObjects() {
    if (CompositionRectangularObject* t = to(); t && t->fromTransition().get() == this)
        t->setFromTransition(nullptr);
    if (CompositionRectangularObject* f = from(); f && f->toTransition().get() == this)
        f->setToTransition(nullptr);
    setFromObject(nullptr);
    setToObject(nullptr);
}

void Transition::prepareForDeletion() {
    if (invalidated_) return;
    invalidated_ = true;
    invalidateTransitionAndRemoveFromObjects();
    CompositionRectangularObject::prepareForDeletion();
}

void Transition::awakeAfterUndelete() {
    invalidated_ = false;
    CompositionRectangularObject::awakeAfterUndelete();
}

void Transition::tearDown() {
    fromObject_.reset();
    toObject_.reset();
    CompositionRectangularObject::tearDown();
}

void Transition::clearLinksToThis() {
    for (const auto& object : {fromObject(), toObject()}) {
        CompositionRectangularObject* joined = rectangular(object);
        if (!joined) continue;
        if (joined->toTransition().get() == this) joined->setToTransition(nullptr);
        if (joined->fromTransition().get() == this) joined->setFromTransition(nullptr);
    }
}

bool Transition::repairLinksAfterDecoding(
    const std::vector<std::shared_ptr<CompositionBaseObject>>& objects) {
    auto listed = [&](const std::shared_ptr<CompositionBaseObject>& object) {
        return std::find(objects.begin(), objects.end(), object) != objects.end();
    };
    auto linksElsewhere = [this](const std::shared_ptr<CompositionBaseObject>& link) {
        return link && link.get() != this;
    };
    const auto f = fromObject(), t = toObject();
    const char* fault = nullptr;
    if (!f || !t) {
        fault = "misses one of its objects";
    } else if (f == t) {
        fault = "joins an object to itself";
    } else if (!canBeJoined(f) || !canBeJoined(t)) {
        fault = "joins a transition or an object without a frame";
    } else if (!listed(f) || !listed(t)) {
        fault = "names an object outside the composition";
    } else if (linksElsewhere(rectangular(f)->toTransition()) ||
               linksElsewhere(rectangular(t)->fromTransition())) {
        fault = "joins an object that another transition joins";
    }
    auto self = std::static_pointer_cast<CompositionBaseObject>(shared_from_this());
    // Whatever else points at this transition does not belong to it.
    for (const auto& object : objects) {
        CompositionRectangularObject* other = rectangular(object);
        if (!other) continue;
        if (other->toTransition() == self && (fault || object != f)) other->setToTransition(nullptr);
        if (other->fromTransition() == self && (fault || object != t)) other->setFromTransition(nullptr);
    }
    if (fault) {
        logMessage(std::string("A transition of the document ") + fault + "; it is dropped.");
        clearLinksToThis();
        fromObject_.reset();
        toObject_.reset();
        return false;
    }
    setObjectLink(f, true);
    setObjectLink(t, false);
    return true;
}

// --- Copying and archiving

std::shared_ptr<CompositionBaseObject>
Transition::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionTransition>(compositionObjectsContainer(), std::move(baseState));
}

// A copy takes the look and the times, not the objects: those belong to the original's place.
void Transition::copyValuesInto(CompositionBaseObject& base) const {
    CompositionRectangularObject::copyValuesInto(base);
    auto* target = dynamic_cast<Transition*>(&base);
    if (!target) return;
    target->transitionStartTime_ = transitionStartTime_;
    target->transitionEndTime_ = transitionEndTime_;
    {
        MutexLock lock(target->valuesMutex_);
        target->filterValues_ = filterValues();
        target->helperFilterValues_ = helperFilterValues();
    }
    target->applyType(transitionType(), Registration::Silent);
}

void Transition::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularObject::encodeWithCoder(coder);
    if (serializationMode() != SerializationMode::Copy) {
        coder.encodeObject("key_fromObject", ArchivedValue(fromObject()));
        coder.encodeObject("key_toObject", ArchivedValue(toObject()));
    }
    coder.encodeDouble("key_transitionStartTime", transitionStartTime_);
    coder.encodeDouble("key_transitionEndTime", transitionEndTime_);
    coder.encodeInt32("key_transitionType", transitionType());
    coder.encodeObject("key_renderFilterValues",
                       ArchivedValue::fromPropertyList(PropertyList(filterValues())));
    coder.encodeObject("key_helperFilterValues",
                       ArchivedValue::fromPropertyList(PropertyList(helperFilterValues())));
}

// The objects' own links come from their archives; whether the two sides agree is settled once
// the whole document is read (repairLinksAfterDecoding). Values that are not finite are left out
// and the defaults stay.
void Transition::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularObject::initWithCoder(coder);
    fromObject_ = decodeJoinedObject(coder, "key_fromObject");
    toObject_ = decodeJoinedObject(coder, "key_toObject");
    const double start = coder.decodeDoubleForKey("key_transitionStartTime");
    const double end = coder.decodeDoubleForKey("key_transitionEndTime");
    transitionStartTime_ = std::isfinite(start) ? start : 0;
    transitionEndTime_ = std::isfinite(end) ? end : 0;
    {
        MutexLock lock(valuesMutex_);
        filterValues_ = PlistDictionary();
        helperFilterValues_ = PlistDictionary();
    }
    applyType(coder.decodeInt32ForKey("key_transitionType"), Registration::Silent);
    for (const auto& [key, value] : decodeValues(coder, "key_renderFilterValues"))
        storeFilterValue(value, key, Registration::Silent);
    for (const auto& [key, value] : decodeValues(coder, "key_helperFilterValues"))
        storeHelperValue(value, key, Registration::Silent);
    invalidated_ = false;
}

void Transition::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionTransition", "CompositionRectangularObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionTransition>(nullptr));
    });
}

} // namespace vtl
