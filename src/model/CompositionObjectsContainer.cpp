#include "model/CompositionObjectsContainer.h"

#include "model/AudioCapability.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionChapterMark.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionModelNotifications.h"
#include "model/CompositionUndoManager.h"
#include "model/MediaTrackCapability.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace vtl {

namespace {

using Container = CompositionObjectsContainer;

int32_t trackNumberOf(const CompositionBaseObject& object) {
    return object.containerTrack() ? object.containerTrack()->trackNumber() : -1;
}

bool isRectangular(const CompositionBaseObject& object) {
    return object.asVisual() != nullptr;
}

bool isVisible(const CompositionBaseObject& object) {
    return !(object.containerTrack() && object.containerTrack()->isDisabled());
}

void sortByTrackNumber(ObjectList& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return trackNumberOf(*a) < trackNumberOf(*b); });
}

} // namespace

const ModelKeyTable<CompositionObjectsContainer>& CompositionObjectsContainer::keyValueTable() {
    static const auto table =
        ModelKeyTable<Container>()
            .undoableToMany("objects", &Container::countOfObjects, &Container::objectInObjectsAtIndex,
                            &Container::insertObjectInObjectsAtIndex,
                            &Container::removeObjectFromObjectsAtIndex, &Container::objects,
                            &Container::setObjects)
            .undoable("backgroundColor1", &Container::backgroundColor1, &Container::setBackgroundColor1)
            .undoable("backgroundColor2", &Container::backgroundColor2, &Container::setBackgroundColor2)
            .undoable("backgroundKind", &Container::backgroundKind, &Container::setBackgroundKind)
            .undoable("backgroundReflects", &Container::backgroundReflects, &Container::setBackgroundReflects)
            .undoable("globalShadowColor", &Container::globalShadowColor, &Container::setGlobalShadowColor)
            .undoable("globalShadowAngle", &Container::globalShadowAngle, &Container::setGlobalShadowAngle)
            .undoable("globalShadowOpacity", &Container::globalShadowOpacity,
                      &Container::setGlobalShadowOpacity)
            .undoable("globalShadowDistance", &Container::globalShadowDistance,
                      &Container::setGlobalShadowDistance)
            .undoable("globalShadowRadius", &Container::globalShadowRadius,
                      &Container::setGlobalShadowRadius);
    return table;
}

Container::CompositionObjectsContainer() = default;

Container::~CompositionObjectsContainer() {
    if (delayedUpdateTimer_) delayedUpdateTimer_->cancel();
    observers_.clear();
    for (const auto& object : objects_) {
        if (object->compositionObjectsContainer() != this) continue;
        object->setObjectsContainer(nullptr);
        VisualCapability* visual = object->asVisual();
        if (!visual) continue;
        if (visual->hasMask()) visual->setMaskObject(nullptr);
        if (visual->isAMask()) visual->setMaskForObject(nullptr);
    }
    // A mutex still held by an interrupt is released before it is destroyed.
    resumeExtraction();
}

void Container::didConstruct() {
    CompositionUndoObject::didConstruct();
    NotificationCenter& center = NotificationCenter::defaultCenter();
    std::weak_ptr<CompositionUndoObject> weak = weak_from_this();
    observers_.emplace_back(
        center, center.addObserver(kManuallyChangedTimeNotification, this, [this](const Notification& note) {
            if (!document_ || !document_->isPlaying()) return;
            const double* time = note.value<double>("time");
            if (!time) return;
            for (const auto& object : objects_)
                object->setCurrentMovieTime(*time);
        }));
    observers_.emplace_back(
        center, center.addObserver(kObjectTrackChangedNotification, this, [this](const Notification&) {
            recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
        }));
}

CompositionUndoManager* Container::undoManager() const {
    return document_ ? document_->undoManager() : nullptr;
}

bool Container::registersUndo() const {
    return !isOffscreen_ && !undoDisabled() && undoManager() != nullptr;
}

bool Container::isReplayingUndoOrRedo() const {
    const CompositionUndoManager* manager = undoManager();
    return manager && (manager->isUndoing() || manager->isRedoing());
}

void Container::registerUndoAction(std::function<void()> action) {
    if (!registersUndo()) return;
    // The undo stack keeps the container alive for as long as a step refers to it.
    std::shared_ptr<CompositionUndoObject> self = weak_from_this().lock();
    undoManager()->registerUndo(this, [self, action = std::move(action)] { action(); });
}

void Container::askDocumentToUpdateViews() const {
    if (!document_) return;
    document_->updateSequencerView();
    document_->updatePreviewView();
}

void Container::setUndoDisabledForContainer(bool disabled) {
    for (const auto& track : tracks_)
        track->setUndoDisabled(disabled);
    setUndoDisabled(disabled);
}

// --- Canvas

void Container::setCanvasSize(Size size) {
    if (refusesChangeDuringExport("setCanvasSize")) return;
    const Size old = canvasSize_;
    registerUndoAction([this, old] { setCanvasSize(old); });
    // Observed by the document, whose snippet previews depend on the canvas.
    setObservedValue("canvasSize", canvasSize_, size);
    recacheBackground();
}

bool Container::wouldIncreaseCanvasSize(Size size) const {
    return size.width > canvasSize_.width || size.height > canvasSize_.height;
}

bool Container::wouldDecreaseCanvasSize(Size size) const {
    return !(size.width >= canvasSize_.width && size.height >= canvasSize_.height);
}

void Container::increaseCanvasSizeTo(Size size) {
    if (refusesChangeDuringExport("increaseCanvasSizeTo")) return;
    if (wouldIncreaseCanvasSize(size)) setCanvasSize(size);
}

// --- Objects

void Container::addObjectsFromArray(const ObjectList& objects) {
    if (refusesChangeDuringExport("addObjectsFromArray")) return;
    for (const auto& object : objects)
        addObject(object);
}

bool Container::containsObject(const CompositionBaseObject* object) const {
    return std::any_of(objects_.begin(), objects_.end(),
                       [&](const auto& member) { return member.get() == object; });
}

bool Container::addObjectAndAssignFreeTrackID(const std::shared_ptr<CompositionBaseObject>& object,
                                              TrackAssignment assignment) {
    if (refusesChangeDuringExport("addObjectAndAssignFreeTrackID")) return false;
    if (!object) return false;
    if (containsObject(object.get())) return true;
    bool tookNewTrack = false;
    if (assignment == TrackAssignment::FreeTrack) {
        const int32_t count = static_cast<int32_t>(tracks_.size());
        increaseNumberOfTracksTo(count + 1);
        TrackList sorted = tracks_;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a->trackNumber() < b->trackNumber(); });
        std::shared_ptr<CompositionObjectsContainerTrack> chosen;
        for (const auto& track : sorted) {
            if (track->wouldFitObject(*object)) {
                chosen = track;
                break;
            }
        }
        if (!chosen || chosen == tracks_[static_cast<std::size_t>(count)]) {
            chosen = tracks_[static_cast<std::size_t>(count)];
            tookNewTrack = true;
        }
        if (object->containerTrack()) object->containerTrack()->removeClip(object.get());
        object->setContainerTrack(chosen);
    }
    insertObjectInObjectsAtIndex(object, objects_.size());
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    return tookNewTrack;
}

bool Container::addObjectsOnNextFreeTrack(const ObjectList& objects) {
    if (refusesChangeDuringExport("addObjectsOnNextFreeTrack")) return false;
    const int32_t count = static_cast<int32_t>(tracks_.size());
    increaseNumberOfTracksTo(count + 1);
    TrackList sorted = tracks_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->trackNumber() < b->trackNumber(); });
    std::shared_ptr<CompositionObjectsContainerTrack> chosen;
    for (const auto& track : sorted) {
        if (std::all_of(objects.begin(), objects.end(),
                        [&](const auto& o) { return track->wouldFitObject(*o); })) {
            chosen = track;
            break;
        }
    }
    const auto& newTrack = tracks_[static_cast<std::size_t>(count)];
    const bool tookNewTrack = !chosen || chosen == newTrack;
    if (!chosen) chosen = newTrack;
    for (const auto& object : objects) {
        object->setContainerTrack(chosen);
        if (!containsObject(object.get())) insertObjectInObjectsAtIndex(object, objects_.size());
    }
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    return tookNewTrack;
}

void Container::removeObject(const CompositionBaseObject* object) {
    if (refusesChangeDuringExport("removeObject")) return;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (objects_[i].get() == object) {
            removeObjectFromObjectsAtIndex(i);
            return;
        }
    }
}

void Container::setObjects(const ObjectList& objects) {
    if (refusesChangeDuringExport("setObjects")) return;
    setObservedValue("objects", objects_, objects);
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    updateAfterUndo();
    recomputeAllTrackHeights();
}

std::shared_ptr<CompositionBaseObject> Container::objectInObjectsAtIndex(std::size_t index) const {
    if (index >= objects_.size()) {
        logMessage("objectInObjectsAtIndex: index out of range");
        return nullptr;
    }
    return objects_[index];
}

void Container::insertObjectInObjectsAtIndex(const std::shared_ptr<CompositionBaseObject>& object,
                                             std::size_t index) {
    if (refusesChangeDuringExport("insertObjectInObjectsAtIndex")) return;
    if (!object || containsObject(object.get())) return;
    if (index > objects_.size()) {
        logMessage("insertObjectInObjectsAtIndex: index out of range");
        return;
    }
    willChange(KeyValueChangeKind::insertion, {index}, "objects");
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), object);
    didChange(KeyValueChangeKind::insertion, {index}, "objects");
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    NotificationCenter::defaultCenter().post(kObjectsAddedOrRemovedNotification, this,
                                             {{kObjectsAddedKey, object}});
    askDocumentToUpdateViews();
}

void Container::removeObjectFromObjectsAtIndex(std::size_t index) {
    if (refusesChangeDuringExport("removeObjectFromObjectsAtIndex")) return;
    if (index >= objects_.size()) {
        logMessage("[CompositionObjectsContainer removeObjectFromObjectsAtIndex:], index >= count!");
        return;
    }
    const std::shared_ptr<CompositionBaseObject> object = objects_[index];
    if (!isOffscreen_) object->prepareForDeletion();
    willChange(KeyValueChangeKind::removal, {index}, "objects");
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
    didChange(KeyValueChangeKind::removal, {index}, "objects");
    if (isOffscreen_) return;
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    askDocumentToUpdateViews();
    NotificationCenter::defaultCenter().post(kObjectsAddedOrRemovedNotification, this,
                                             {{kObjectsRemovedKey, object}});
}

std::shared_ptr<CompositionBaseObject> Container::objectWithID(const std::string& uniqueID) const {
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        if ((*it)->uniqueID() == uniqueID) return *it;
    }
    return nullptr;
}

void Container::recacheObjectsAndTransitionsDuringDrag(DuringDrag duringDrag) {
    cachedOnlyObjects_.clear();
    cachedOnlyTransitions_.clear();
    cachedTransitionsAndObjects_.clear();
    cachedOnlyObjectsIgnoringVisibility_.clear();
    cachedOnlyTransitionsIgnoringVisibility_.clear();
    cachedTransitionsAndObjectsIgnoringVisibility_.clear();
    ObjectList visibleObjects, allObjectsWithAudio;
    for (const auto& object : objects_) {
        const bool visible = isVisible(*object);
        if (object->isTransition()) {
            cachedOnlyTransitionsIgnoringVisibility_.push_back(object);
            if (visible) cachedOnlyTransitions_.push_back(object);
        } else if (isRectangular(*object)) {
            cachedOnlyObjectsIgnoringVisibility_.push_back(object);
            if (visible) {
                visibleObjects.push_back(object);
                if (!object->isAudioObject()) cachedOnlyObjects_.push_back(object);
            }
        }
    }
    cachedTransitionsAndObjects_ = cachedOnlyTransitions_;
    cachedTransitionsAndObjects_.insert(cachedTransitionsAndObjects_.end(), visibleObjects.begin(),
                                        visibleObjects.end());
    cachedTransitionsAndObjectsIgnoringVisibility_ = cachedOnlyTransitionsIgnoringVisibility_;
    cachedTransitionsAndObjectsIgnoringVisibility_.insert(
        cachedTransitionsAndObjectsIgnoringVisibility_.end(), cachedOnlyObjectsIgnoringVisibility_.begin(),
        cachedOnlyObjectsIgnoringVisibility_.end());
    for (ObjectList* list : {&cachedOnlyObjects_, &cachedOnlyTransitions_, &cachedTransitionsAndObjects_,
                             &cachedOnlyObjectsIgnoringVisibility_, &cachedOnlyTransitionsIgnoringVisibility_,
                             &cachedTransitionsAndObjectsIgnoringVisibility_})
        sortByTrackNumber(*list);
    maxTrackID_ = static_cast<int32_t>(tracks_.size());
    // Trimming is part of the user's operation and is undone with it. While an undo or redo replays
    // a step, the lists pass through states in between (tracks back before their clips), and a trim
    // then would drop a track that a later action of the same step fills again.
    if (duringDrag == DuringDrag::No && !isReplayingUndoOrRedo()) {
        const int32_t top = cachedOnlyObjectsIgnoringVisibility_.empty()
                                ? 0
                                : trackNumberOf(*cachedOnlyObjectsIgnoringVisibility_.back());
        while (maxTrackID_ > top + 3 && !tracks_.empty() && tracks_.back()->isEmptyTrack()) {
            const TrackList previous = tracks_;
            registerUndoAction([this, previous] { setTracks(previous); });
            NotificationCenter::defaultCenter().post(kTrackWillBeDeletedNotification, tracks_.back().get());
            tracks_.pop_back();
            maxTrackID_ = static_cast<int32_t>(tracks_.size());
        }
    }
    recomputeAllTrackHeights();
    postNumberOfTracksChanged();
}

double Container::minimumTime() const {
    double minimum = 0;
    for (const auto& object : objects_) {
        if (!object->isTransition()) minimum = std::min(minimum, object->snapStartTime());
    }
    return minimum;
}

double Container::maximumTime() const {
    double maximum = 0;
    for (const auto& object : objects_) {
        if (!object->isTransition()) maximum = std::max(maximum, object->snapEndTime());
    }
    return maximum;
}

double Container::maximumVisibleTime() const {
    double maximum = 0;
    for (const auto& object : objects_) {
        const VisualCapability* visual = object->asVisual();
        if (!object->isTransition() && visual && visual->drawsInPreviewView())
            maximum = std::max(maximum, object->snapEndTime());
    }
    return maximum;
}

double Container::earliestTimeOnSameTrackForObject(const CompositionBaseObject& object) const {
    const auto& track = object.containerTrack();
    if (!track || !track->containsClip(&object)) {
        assertionFailure(__FILE__, __LINE__, "object not in its own track");
        return 0;
    }
    const auto sorted = track->chronologicallySortedClips();
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (sorted[i].get() == &object) return i == 0 ? 0 : sorted[i - 1]->snapEndTime();
    }
    return 0;
}

void Container::moveAllObjectsBeginningAfter(double time, double delta) {
    if (refusesChangeDuringExport("moveAllObjectsBeginningAfter")) return;
    for (const auto& object : objects_) {
        if (object->snapStartTime() >= time - 0.01) object->moveSnapStartTimeByTimeValue(delta);
    }
}

void Container::shiftObjectToOtherTrackIfNecessary(const std::shared_ptr<CompositionBaseObject>& object) {
    const auto track = object ? object->containerTrack() : nullptr;
    if (!track || !track->nextObject(*object) || track->timeToNextObject(*object) > 0) return;
    for (int32_t number = track->trackNumber() + 1;; ++number) {
        auto candidate = trackByNumber(number, TrackCreation::IfMissing);
        if (!candidate) return;
        if (candidate->wouldFitObject(*object)) {
            object->setContainerTrack(candidate);
            return;
        }
    }
}

void Container::reinitializeAfterPathChanged() {
    for (const auto& object : objects_) {
        if (MediaTrackCapability* media = object->asMediaTrack()) media->reinitializeAfterPathChanged();
    }
}

void Container::loadTrackResources() {
    for (const auto& object : objects_)
        object->loadResources();
}

void Container::tearDownObjects() {
    for (const auto& object : objects_)
        object->tearDown();
}

// --- Tracks

std::shared_ptr<CompositionObjectsContainerTrack> Container::objectInTracksAtIndex(std::size_t index) const {
    return index < tracks_.size() ? tracks_[index] : nullptr;
}

std::shared_ptr<CompositionObjectsContainerTrack> Container::trackByNumber(int32_t number,
                                                                           TrackCreation creation) {
    if (number < 0) return nullptr;
    if (static_cast<std::size_t>(number) >= tracks_.size()) {
        if (creation == TrackCreation::Never) return nullptr;
        increaseNumberOfTracksTo(number + 1);
    }
    return tracks_[static_cast<std::size_t>(number)];
}

std::shared_ptr<CompositionObjectsContainerTrack> Container::makeTrack(int32_t number) {
    auto track = makeModelObject<CompositionObjectsContainerTrack>(this, number);
    track->setUndoDisabled(undoDisabled());
    return track;
}

void Container::increaseNumberOfTracksTo(int32_t count) {
    if (static_cast<int32_t>(tracks_.size()) < count) {
        const TrackList previous = tracks_;
        registerUndoAction([this, previous] { setTracks(previous); });
        for (int32_t number = static_cast<int32_t>(tracks_.size()); number < count; ++number) {
            auto track = makeTrack(number);
            if (!tracks_.empty())
                track->setAccumulatedHeightBelow(tracks_.back()->accumulatedHeightBelow() +
                                                 track->heightInSequencer());
            tracks_.push_back(std::move(track));
        }
    }
    recomputeAllTrackHeights();
    postNumberOfTracksChanged();
}

void Container::setTracks(const TrackList& tracks) {
    if (refusesChangeDuringExport("setTracks")) return;
    const TrackList previous = tracks_;
    registerUndoAction([this, previous] { setTracks(previous); });
    tracks_ = tracks;
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
}

void Container::sortTracks() {
    std::stable_sort(tracks_.begin(), tracks_.end(),
                     [](const auto& a, const auto& b) { return a->trackNumber() < b->trackNumber(); });
    recomputeAllTrackHeights();
}

void Container::recomputeAllTrackHeights() {
    float sum = 0;
    for (const auto& track : tracks_) {
        sum += track->heightInSequencer();
        track->setAccumulatedHeightBelow(sum);
    }
}

void Container::postNumberOfTracksChanged() const {
    NotificationCenter::defaultCenter().post(kNumberOfTracksChangedNotification, this);
}

// One new empty track at the bottom: the shift appends it (numbered 0) and moves the others up.
void Container::insertEmptyTrackAtop() {
    if (refusesChangeDuringExport("insertEmptyTrackAtop")) return;
    const TrackList previous = tracks_;
    registerUndoAction([this, previous] { setTracks(previous); });
    shiftTracks(0, static_cast<int32_t>(tracks_.size()), 1, DuringDrag::No);
}

void Container::moveTrackID(int32_t from, int32_t to, DuringDrag duringDrag) {
    if (refusesChangeDuringExport("moveTrackID")) return;
    if (from == to || from < 0 || to < 0 || static_cast<std::size_t>(from) >= tracks_.size() ||
        static_cast<std::size_t>(to) >= tracks_.size())
        return;
    const TrackList previous = tracks_;
    registerUndoAction([this, previous] { setTracks(previous); });
    auto moved = tracks_[static_cast<std::size_t>(from)];
    tracks_.erase(tracks_.begin() + from);
    tracks_.insert(tracks_.begin() + to, moved);
    for (std::size_t i = 0; i < tracks_.size(); ++i)
        tracks_[i]->setTrackNumber(static_cast<int32_t>(i));
    sortTracks();
    recacheObjectsAndTransitionsDuringDrag(duringDrag);
    askDocumentToUpdateViews();
}

void Container::shiftTracks(int32_t from, int32_t to, int32_t delta, DuringDrag duringDrag) {
    if (refusesChangeDuringExport("shiftTracks")) return;
    const TrackList previous = tracks_;
    registerUndoAction([this, previous] { setTracks(previous); });
    if (delta == -1 && duringDrag == DuringDrag::No && from >= 1) {
        auto removed = trackByNumber(from - 1, TrackCreation::IfMissing);
        NotificationCenter::defaultCenter().post(kTrackWillBeDeletedNotification, removed.get());
        std::erase(tracks_, removed);
    }
    for (const auto& track : tracks_) {
        if (track->trackNumber() >= from && track->trackNumber() <= to) track->shiftTrackNumberBy(delta);
    }
    if (delta == 1 && duringDrag == DuringDrag::No) {
        auto track = makeTrack(from);
        track->setAccumulatedHeightBelow(0);
        tracks_.push_back(std::move(track));
    }
    sortTracks();
    recacheObjectsAndTransitionsDuringDrag(duringDrag);
}

void Container::separateDependentTracksOfTrack(const std::shared_ptr<CompositionBaseObject>& owner) {
    if (!owner) return;
    const ObjectList dependents = owner->dependentTracks();
    willChangeValueForKey("objects");
    for (const auto& dependent : dependents)
        addObjectAndAssignFreeTrackID(dependent, TrackAssignment::KeepTrack);
    for (const auto& dependent : dependents) {
        owner->removeSubtrack(dependent.get());
        dependent->setOwningTrack(nullptr);
    }
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    didChangeValueForKey("objects");
}

bool Container::trackIsDisabled(int32_t number) const {
    return number >= 0 && static_cast<std::size_t>(number) < tracks_.size() &&
           tracks_[static_cast<std::size_t>(number)]->isDisabled();
}

bool Container::trackIsLocked(int32_t number) const {
    return number >= 0 && static_cast<std::size_t>(number) < tracks_.size() &&
           tracks_[static_cast<std::size_t>(number)]->trackLocked();
}

void Container::setTrackDisabled(int32_t number, bool disabled) {
    if (refusesChangeDuringExport("setTrackDisabled")) return;
    if (number < 0 || static_cast<std::size_t>(number) >= tracks_.size()) return;
    willChangeValueForKey("disabledTracks");
    tracks_[static_cast<std::size_t>(number)]->setDisabled(disabled);
    didChangeValueForKey("disabledTracks");
}

void Container::toggleTrackDisabled(int32_t number) {
    if (refusesChangeDuringExport("toggleTrackDisabled")) return;
    if (number < 0 || static_cast<std::size_t>(number) >= tracks_.size()) return;
    const bool wasPlaying = document_ && document_->isPlaying();
    if (wasPlaying) document_->stopPlay();
    willChangeValueForKey("disabledTracks");
    auto& track = tracks_[static_cast<std::size_t>(number)];
    track->setDisabled(!track->isDisabled());
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    didChangeValueForKey("disabledTracks");
    if (wasPlaying) document_->startPlay();
}

void Container::toggleTrackLocked(int32_t number) {
    if (refusesChangeDuringExport("toggleTrackLocked")) return;
    if (number < 0 || static_cast<std::size_t>(number) >= tracks_.size()) return;
    auto& track = tracks_[static_cast<std::size_t>(number)];
    track->setTrackLocked(!track->trackLocked());
}

TrackList Container::disabledTracks() const {
    TrackList out;
    for (const auto& track : tracks_) {
        if (track->isDisabled()) out.push_back(track);
    }
    return out;
}

// --- Languages

void Container::setLanguageScript(int32_t languageScript) {
    currentLanguageScript_ = languageScript;
    NotificationCenter::defaultCenter().post(kCurrentLanguageScriptChangedNotification, this);
}

bool Container::shouldPlay(const CompositionBaseObject& object) const {
    if (currentLanguageScript_ == VistrelLanguage::kAllLanguages || !object.allowsSettingVistrelLanguage())
        return true;
    const int32_t code = object.languageScriptCode();
    return code == VistrelLanguage::kAllLanguages || code == currentLanguageScript_;
}

std::vector<std::shared_ptr<VistrelLanguage>> Container::usedLanguages() const {
    std::vector<std::shared_ptr<VistrelLanguage>> used;
    auto addLanguage = [&](const std::shared_ptr<VistrelLanguage>& language) {
        if (!language) return;
        if (std::none_of(used.begin(), used.end(), [&](const auto& l) { return l->isEqualTo(*language); }))
            used.push_back(language);
    };
    for (const auto& object : cachedOnlyObjectsIgnoringVisibility_) {
        for (const auto& language : object->contentLanguages())
            addLanguage(language);
    }
    return used;
}

std::vector<std::shared_ptr<VistrelLanguage>> Container::languagesToExport() const {
    auto languages = usedLanguages();
    auto all = std::find_if(languages.begin(), languages.end(), [](const auto& l) {
        return l->languageScript() == VistrelLanguage::kAllLanguages;
    });
    if (languages.size() == 1 && all != languages.end()) {
        languages[0] = VistrelLanguage::languageWithLanguageScript(0);
    } else if (languages.size() >= 2 && all != languages.end()) {
        languages.erase(all);
    }
    return languages;
}

ObjectList Container::activeUncachedAudioTracks() const {
    ObjectList out;
    for (const auto& object : objects_) {
        if (object->isAudioObject() && isVisible(*object)) out.push_back(object);
    }
    return out;
}

ObjectList Container::activeUncachedAudioTracksWithLanguageScript(int32_t languageScript) const {
    ObjectList out;
    for (const auto& object : activeUncachedAudioTracks()) {
        const int32_t code = object->languageScriptCode();
        if (code == languageScript || code == VistrelLanguage::kAllLanguages) out.push_back(object);
    }
    return out;
}

void Container::setAudioExtentScale(float scale) {
    for (const auto& object : objects_) {
        if (AudioCapability* audio = object->asAudio()) audio->setAudioScale(scale);
    }
    audioExtentScale_ = scale;
    if (document_) document_->updateSequencerView();
}

// --- Chapter marks

void Container::addChapterMark(const std::shared_ptr<CompositionChapterMark>& mark) {
    if (refusesChangeDuringExport("addChapterMark")) return;
    if (!mark || std::find(chapterMarks_.begin(), chapterMarks_.end(), mark) != chapterMarks_.end()) return;
    chapterMarks_.push_back(mark);
    registerUndoAction([this, mark] { removeChapterMark(mark); });
    NotificationCenter::defaultCenter().post(kChapterMarksChangedNotification, document_);
}

void Container::removeChapterMark(const std::shared_ptr<CompositionChapterMark>& mark) {
    if (refusesChangeDuringExport("removeChapterMark")) return;
    auto found = std::find(chapterMarks_.begin(), chapterMarks_.end(), mark);
    if (found == chapterMarks_.end()) return;
    chapterMarks_.erase(found);
    registerUndoAction([this, mark] { addChapterMark(mark); });
    NotificationCenter::defaultCenter().post(kChapterMarksChangedNotification, document_);
}

std::vector<std::shared_ptr<CompositionChapterMark>> Container::chronologicallySortedChapterMarks() const {
    auto sorted = chapterMarks_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->time() < b->time(); });
    return sorted;
}

std::shared_ptr<CompositionChapterMark> Container::createChapterMarkAtTime(double time) {
    if (refusesChangeDuringExport("createChapterMarkAtTime")) return nullptr;
    auto mark = makeModelObject<CompositionChapterMark>(document_, time);
    addChapterMark(mark);
    return mark;
}

// --- Playback, export

void Container::prepareForPlayBackAtTime(double time) {
    interruptExtraction();
    for (const auto& object : objects_)
        object->prepareForPlayBackAtTime(time);
}

void Container::donePlayBackAtTime(double time) {
    resumeExtraction();
    for (const auto& object : objects_)
        object->donePlayBackAtTime(time);
}

void Container::setIsInExport(bool inExport) {
    for (const auto& object : objects_) {
        if (MediaTrackCapability* media = object->asMediaTrack()) media->setIsExporting(inExport);
    }
    inExport_ = inExport;
    if (CompositionUndoManager* manager = undoManager()) manager->setRefusesUndoAndRedo(inExport);
}

void Container::beginExportFreeze() {
    if (exportFreezes_.fetch_add(1) == 0) setIsInExport(true);
}

void Container::endExportFreeze() {
    const int before = exportFreezes_.fetch_sub(1);
    VTL_ASSERT(before > 0, "endExportFreeze without beginExportFreeze");
    if (before == 1)
        setIsInExport(false);
    else if (before <= 0)
        exportFreezes_ = 0;
}

bool Container::refusesChangeDuringExport(const char* operation) const {
    if (!inExport_.load()) return false;
    assertionFailure(__FILE__, __LINE__,
                     std::string(operation) + ": the composition cannot change while it is being exported");
    return true;
}

void Container::interruptExtraction() {
    if (extractionInterrupted_.load()) return;
    extractionInterrupted_.store(true);
    extractionPlayMutex_.lock();
}

void Container::resumeExtraction() {
    if (!extractionInterrupted_.load()) return;
    extractionInterrupted_.store(false);
    extractionPlayMutex_.unlock();
}

// --- Editing

ObjectList Container::splitObjects(const ObjectList& objects, double time) {
    ObjectList result;
    std::map<std::string, std::string> copyIDs;
    for (const auto& object : objects) {
        if (!object || object->isTransition()) continue;
        if (!object->canBeSplitAtGlobalTime(time)) {
            logMessage("the object cannot be split at this time");
            continue;
        }
        MediaTrackCapability* media = object->asMediaTrack();
        if (media && (!media->canSetMovieEndTimeTo(time - object->startTime()) ||
                      !media->canSetMovieStartTimeTo(time - object->startTime()))) {
            logMessage("the media of the object cannot be cut at this time");
            continue;
        }
        const double oldStart = object->startTime();
        std::shared_ptr<CompositionBaseObject> second = object->copy();
        addObjectAndAssignFreeTrackID(second, TrackAssignment::KeepTrack);
        const StretchMode objectMode = object->stretchMode();
        const StretchMode copyMode = second->stretchMode();
        object->setStretchMode(StretchMode::Keep);
        second->setStretchMode(StretchMode::Keep);
        if (MediaTrackCapability* secondMedia = second->asMediaTrack(); media && secondMedia) {
            media->setMovieEndTime(time - object->startTime());
            secondMedia->setMovieStartTime(time - second->startTime());
        } else {
            object->setEndTime(time);
            second->setStartTime(time);
            second->shiftAllStatesBy(oldStart - time);
        }
        object->setStretchMode(objectMode);
        second->setStretchMode(copyMode);
        copyIDs[object->uniqueID()] = second->uniqueID();
        result.push_back(object);
        result.push_back(second);
    }
    for (const auto& object : objects) {
        if (!object || !object->hasDependentTracks()) continue;
        auto ownerCopyID = copyIDs.find(object->uniqueID());
        std::shared_ptr<CompositionBaseObject> ownerCopy =
            ownerCopyID == copyIDs.end() ? nullptr : objectWithID(ownerCopyID->second);
        for (const auto& dependent : object->dependentTracks()) {
            auto dependentCopyID = copyIDs.find(dependent->uniqueID());
            if (dependentCopyID == copyIDs.end()) continue;
            std::shared_ptr<CompositionBaseObject> dependentCopy = objectWithID(dependentCopyID->second);
            if (!dependentCopy || !ownerCopy) {
                logMessage("copy not found");
                continue;
            }
            ownerCopy->addDependentTrack(dependentCopy);
        }
    }
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    return result;
}

void Container::arrangeObjects(const ObjectList& objects, double time, ArrangeCriterion criterion) {
    const bool distributes = criterion == ArrangeCriterion::DistributeVertically ||
                             criterion == ArrangeCriterion::DistributeHorizontally;
    // Only objects with a frame on the canvas take part.
    struct Item {
        VisualCapability* object;
        Rect rect;
    };
    std::vector<Item> items;
    for (const auto& object : objects) {
        if (VisualCapability* visual = object ? object->asVisual() : nullptr)
            items.push_back({visual, visual->enclosingRectAtTime(time, RotationHandling::Respect)});
    }
    if (items.empty() || (distributes && items.size() == 1)) return;
    if (distributes) {
        const bool horizontal = criterion == ArrangeCriterion::DistributeHorizontally;
        std::stable_sort(items.begin(), items.end(), [horizontal](const Item& a, const Item& b) {
            return horizontal
                       ? a.rect.origin.x + a.rect.size.width / 2 < b.rect.origin.x + b.rect.size.width / 2
                       : a.rect.origin.y + a.rect.size.height / 2 < b.rect.origin.y + b.rect.size.height / 2;
        });
    }
    float minX, minY, maxX, maxY;
    if (items.size() == 1) {
        minX = 0;
        minY = 0;
        maxX = static_cast<float>(canvasSize_.width);
        maxY = static_cast<float>(canvasSize_.height);
    } else {
        minX = minY = std::numeric_limits<float>::max();
        maxX = maxY = std::numeric_limits<float>::lowest();
        for (const Item& item : items) {
            minX = std::min(minX, static_cast<float>(item.rect.origin.x));
            minY = std::min(minY, static_cast<float>(item.rect.origin.y));
            maxX = std::max(maxX, static_cast<float>(item.rect.origin.x + item.rect.size.width));
            maxY = std::max(maxY, static_cast<float>(item.rect.origin.y + item.rect.size.height));
        }
    }
    double step = 0;
    if (distributes) {
        const Rect& first = items.front().rect;
        const Rect& last = items.back().rect;
        minX += static_cast<float>(first.size.width / 2);
        minY += static_cast<float>(first.size.height / 2);
        maxX -= static_cast<float>(last.size.width / 2);
        maxY -= static_cast<float>(last.size.height / 2);
        const double extent =
            criterion == ArrangeCriterion::DistributeHorizontally ? maxX - minX : maxY - minY;
        step = extent / static_cast<double>(items.size() - 1);
    }
    double value = 0;
    switch (criterion) {
    case ArrangeCriterion::LeftEdges:
        value = minX;
        break;
    case ArrangeCriterion::HorizontalCentres:
        value = (static_cast<double>(minX) + maxX) / 2;
        break;
    case ArrangeCriterion::RightEdges:
        value = maxX;
        break;
    case ArrangeCriterion::TopEdges:
        value = maxY;
        break;
    case ArrangeCriterion::VerticalCentres:
        value = (static_cast<double>(minY) + maxY) / 2;
        break;
    case ArrangeCriterion::BottomEdges:
        value = minY;
        break;
    case ArrangeCriterion::DistributeVertically:
        value = minY;
        break;
    case ArrangeCriterion::DistributeHorizontally:
        value = minX;
        break;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i].object->alignWithValueAtTime(criterion, value + static_cast<double>(i) * step, time);
}

// --- Undo

void Container::updateAfterUndo() {
    if (delayedUpdateTimer_) delayedUpdateTimer_->cancel();
    std::weak_ptr<CompositionUndoObject> weak = weak_from_this();
    delayedUpdateTimer_ = DispatchTimer::scheduleOnce(0.001, [weak] {
        if (auto self = std::static_pointer_cast<Container>(weak.lock())) self->delayedUpdateAfterUndo();
    });
}

void Container::delayedUpdateAfterUndo() {
    delayedUpdateTimer_.reset();
    if (undoDisabled()) return;
    recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    askDocumentToUpdateViews();
}

} // namespace vtl
