#include "model/CompositionObjectsContainerTrack.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cstdio>

namespace vtl {

namespace {

using Track = CompositionObjectsContainerTrack;

} // namespace

const ModelKeyTable<CompositionObjectsContainerTrack>& CompositionObjectsContainerTrack::keyValueTable() {
    static const auto table = ModelKeyTable<Track>()
                                  .undoable("disabled", &Track::isDisabled, &Track::setDisabled)
                                  .undoable("trackNumber", &Track::trackNumber, &Track::setTrackNumber)
                                  .undoable("trackLocked", &Track::trackLocked, &Track::setTrackLocked);
    return table;
}

Track::CompositionObjectsContainerTrack(CompositionObjectsContainer* container, int32_t trackNumber)
    : trackNumber_(trackNumber) {
    setObjectsContainer(container);
}

CompositionObjectsContainer* Track::objectsContainer() const {
    if (containerTracked_ && containerRef_.expired()) return nullptr;
    return container_;
}

void Track::setObjectsContainer(CompositionObjectsContainer* container) {
    container_ = container;
    containerRef_ = container ? container->weak_from_this() : std::weak_ptr<CompositionUndoObject>();
    containerTracked_ = !containerRef_.expired();
}

void Track::setTrackNumber(int32_t number) {
    if (number == trackNumber_) return;
    setObservedValue("trackNumber", trackNumber_, number);
}

void Track::setDisabled(bool disabled) {
    setObservedValue("disabled", disabled_, disabled);
    for (const auto& clip : clips())
        clip->noteTrackEnabledChanged();
}

void Track::setTrackLocked(bool locked) {
    setObservedValue("trackLocked", trackLocked_, locked);
}

std::vector<std::shared_ptr<CompositionBaseObject>> Track::clips() const {
    std::vector<std::shared_ptr<CompositionBaseObject>> out;
    for (const auto& weak : clips_) {
        if (auto clip = weak.lock()) out.push_back(std::move(clip));
    }
    return out;
}

std::size_t Track::countOfClips() const {
    return static_cast<std::size_t>(
        std::count_if(clips_.begin(), clips_.end(), [](const auto& weak) { return !weak.expired(); }));
}

bool Track::containsClip(const CompositionBaseObject* object) const {
    return std::any_of(clips_.begin(), clips_.end(), [&](const auto& weak) {
        auto clip = weak.lock();
        return clip && clip.get() == object;
    });
}

void Track::addClip(const std::shared_ptr<CompositionBaseObject>& object) {
    if (!object || containsClip(object.get())) return;
    std::erase_if(clips_, [](const auto& weak) { return weak.expired(); });
    clips_.push_back(object);
}

void Track::removeClip(const CompositionBaseObject* object) {
    std::erase_if(clips_, [&](const auto& weak) {
        auto clip = weak.lock();
        return !clip || clip.get() == object;
    });
}

std::vector<std::shared_ptr<CompositionBaseObject>> Track::chronologicallySortedClips() const {
    auto sorted = clips();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->snapStartTime() < b->snapStartTime(); });
    return sorted;
}

bool Track::wouldFitObject(const CompositionBaseObject& object) const {
    for (const auto& clip : clips()) {
        if (clip.get() != &object && clip->timeOverlapsObject(object)) return false;
    }
    return true;
}

std::ptrdiff_t Track::chronologicalIndex(const std::vector<std::shared_ptr<CompositionBaseObject>>& sorted,
                                         const CompositionBaseObject& object) const {
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (sorted[i].get() == &object) return static_cast<std::ptrdiff_t>(i);
    }
    logMessage("it has happened!");
    return -1;
}

double Track::timeToPreviousObject(const CompositionBaseObject& object) const {
    const auto sorted = chronologicallySortedClips();
    const std::ptrdiff_t index = chronologicalIndex(sorted, object);
    if (index <= 0) return -1.0;
    return object.snapStartTime() - sorted[static_cast<std::size_t>(index - 1)]->snapEndTime();
}

double Track::timeToNextObject(const CompositionBaseObject& object) const {
    const auto sorted = chronologicallySortedClips();
    const std::ptrdiff_t index = chronologicalIndex(sorted, object);
    if (index < 0 || static_cast<std::size_t>(index) + 1 >= sorted.size()) return -1.0;
    return sorted[static_cast<std::size_t>(index + 1)]->snapStartTime() - object.snapEndTime();
}

std::shared_ptr<CompositionBaseObject> Track::previousObject(const CompositionBaseObject& object) const {
    const auto sorted = chronologicallySortedClips();
    for (std::ptrdiff_t i = chronologicalIndex(sorted, object) - 1; i >= 0; --i) {
        if (!sorted[static_cast<std::size_t>(i)]->isTransition()) return sorted[static_cast<std::size_t>(i)];
    }
    return nullptr;
}

std::shared_ptr<CompositionBaseObject> Track::nextObject(const CompositionBaseObject& object) const {
    const auto sorted = chronologicallySortedClips();
    const std::ptrdiff_t index = chronologicalIndex(sorted, object);
    if (index < 0) return nullptr;
    for (std::size_t i = static_cast<std::size_t>(index) + 1; i < sorted.size(); ++i) {
        if (!sorted[i]->isTransition()) return sorted[i];
    }
    return nullptr;
}

CompositionUndoManager* Track::undoManager() const {
    CompositionObjectsContainer* container = objectsContainer();
    return container ? container->undoManager() : nullptr;
}

void Track::updateAfterUndo() {
    if (CompositionObjectsContainer* container = objectsContainer()) container->updateAfterUndo();
}

bool Track::acceptsUndoRegistration() const {
    CompositionObjectsContainer* container = objectsContainer();
    if (container && (container->isOffscreen() || container->undoDisabled())) return false;
    return CompositionUndoObject::acceptsUndoRegistration();
}

std::string Track::description() const {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "<%s: %p>, trackID %d", className().c_str(),
                  static_cast<const void*>(this), trackNumber_);
    return buffer;
}

// The clips form a set; they are written ordered by identifier so equal tracks give equal archives.
void Track::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeObject("compositionObjectsContainer", objectsContainer());
    auto sorted = clips();
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a->uniqueID() < b->uniqueID(); });
    coder.encodeArray("key_clips", sorted);
    coder.encodeInt32("trackID", trackNumber_);
    coder.encodeBool("key_disabled", disabled_);
    coder.encodeBool("key_trackLocked", trackLocked_);
}

void Track::initWithCoder(KeyedUnarchiver& coder) {
    setObjectsContainer(
        coder.decodeObjectOfClass<CompositionObjectsContainer>("compositionObjectsContainer").get());
    clips_.clear();
    for (const auto& clip : coder.decodeArrayOfObjects<CompositionBaseObject>("key_clips"))
        clips_.push_back(clip);
    trackNumber_ = coder.decodeInt32ForKey("trackID");
    disabled_ = coder.decodeBoolForKey("key_disabled");
    trackLocked_ = coder.decodeBoolForKey("key_trackLocked");
    heightInSequencer_ = kDefaultHeightInSequencer;
}

} // namespace vtl
