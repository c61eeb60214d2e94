#include "editing/EditingState.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionBaseState.h"
#include "model/CompositionBaseTriggeredState.h"
#include "model/CompositionChapterMark.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

template <class T> std::vector<T> withoutDuplicates(const std::vector<T>& list) {
    std::vector<T> out;
    out.reserve(list.size());
    for (const T& element : list)
        if (std::find(out.begin(), out.end(), element) == out.end()) out.push_back(element);
    return out;
}

// The shared owner of an object a state points to; null when nothing owns it any more.
std::shared_ptr<CompositionBaseObject> owned(CompositionBaseObject* object) {
    if (!object) return nullptr;
    return std::static_pointer_cast<CompositionBaseObject>(object->weak_from_this().lock());
}

} // namespace

const KeyValueCodingTable<EditingState>& EditingState::keyValueTable() {
    static const auto table =
        KeyValueCodingTable<EditingState>()
            .property("currentTime", &EditingState::currentTime, &EditingState::setCurrentTime)
            .property("isPlaying", &EditingState::isPlaying, &EditingState::setIsPlaying)
            .property(
                "selectedObjects", &EditingState::selectedObjects,
                [](EditingState& state, const ObjectList& objects) { state.setSelectedObjects(objects); })
            .property("selectedChaptermarks", &EditingState::selectedChaptermarks,
                      &EditingState::setSelectedChaptermarks)
            .property("selectedState", &EditingState::selectedState, &EditingState::setSelectedState)
            .property("selectedTriggeredState", &EditingState::selectedTriggeredState,
                      &EditingState::setSelectedTriggeredState);
    return table;
}

void EditingState::setCurrentTime(double seconds) {
    if (!std::isfinite(seconds)) {
        assertionFailure(__FILE__, __LINE__, "setCurrentTime: the time is not a finite number");
        return;
    }
    previousTime_ = currentTime_;
    const double time = std::max(seconds, 0.0);
    if (time == currentTime_) return;
    setObservedValue("currentTime", currentTime_, time);
}

void EditingState::addTimeInterval(double deltaSeconds, double upperSeconds) {
    if (!std::isfinite(deltaSeconds) || !std::isfinite(upperSeconds)) {
        assertionFailure(__FILE__, __LINE__, "addTimeInterval: the interval is not a finite number");
        return;
    }
    const double time = std::clamp(currentTime_ + deltaSeconds, 0.0, std::max(upperSeconds, 0.0));
    if (time == currentTime_) return;
    setObservedValue("currentTime", currentTime_, time);
}

void EditingState::setMaxTime(double seconds) {
    if (!std::isfinite(seconds)) {
        assertionFailure(__FILE__, __LINE__, "setMaxTime: the time is not a finite number");
        return;
    }
    maxTime_ = std::max(seconds, 0.0);
}

void EditingState::clampCurrentTimeToMaxTime() {
    if (currentTime_ <= maxTime_) return;
    setObservedValue("currentTime", currentTime_, maxTime_);
}

void EditingState::setIsPlaying(bool playing) {
    if (playing == playing_) return;
    setObservedValue("isPlaying", playing_, playing);
}

void EditingState::setSelectedObjects(const ObjectList& objects, SelectionScope scope) {
    if (objects == selectedObjects_) return;
    // The objects are replaced below: clearing them first would tell observers of an empty
    // selection that never stood.
    if (scope == SelectionScope::DeselectEverythingElse) clearSelections(ClearObjects::No);
    ObjectList unique = withoutDuplicates(objects);
    if (unique == selectedObjects_) return;
    setObservedValue("selectedObjects", selectedObjects_, std::move(unique));
}

void EditingState::setSelectedChaptermarks(const ChapterMarkList& marks) {
    if (marks == selectedChaptermarks_) return;
    deselectEverything();
    setObservedValue("selectedChaptermarks", selectedChaptermarks_, withoutDuplicates(marks));
}

void EditingState::setSelectedState(const std::shared_ptr<CompositionBaseState>& state) {
    if (state != selectedState_) setObservedValue("selectedState", selectedState_, state);
    if (auto object = state ? owned(state->baseObject()) : nullptr)
        setSelectedObjects({object}, SelectionScope::KeepOtherSelections);
}

void EditingState::setSelectedTriggeredState(const std::shared_ptr<CompositionBaseTriggeredState>& state) {
    if (state != selectedTriggeredState_) {
        deselectEverything();
        setObservedValue("selectedTriggeredState", selectedTriggeredState_, state);
    }
    if (auto object = state ? owned(state->object()) : nullptr)
        setSelectedObjects({object}, SelectionScope::KeepOtherSelections);
}

void EditingState::deselectEverything() {
    clearSelections(ClearObjects::Yes);
}

void EditingState::clearSelections(ClearObjects objects) {
    if (deselecting_) return;
    deselecting_ = true;
    if (!selectedChaptermarks_.empty())
        setObservedValue("selectedChaptermarks", selectedChaptermarks_, ChapterMarkList{});
    if (objects == ClearObjects::Yes && !selectedObjects_.empty())
        setObservedValue("selectedObjects", selectedObjects_, ObjectList{});
    if (selectedState_) setObservedValue("selectedState", selectedState_, nullptr);
    if (selectedTriggeredState_) setObservedValue("selectedTriggeredState", selectedTriggeredState_, nullptr);
    deselecting_ = false;
}

void EditingState::objectWillBeDeleted(const CompositionBaseObject* object) {
    if (!object) {
        setSelectedObjects({});
        return;
    }
    const auto found = std::find_if(selectedObjects_.begin(), selectedObjects_.end(),
                                    [object](const auto& selected) { return selected.get() == object; });
    if (found == selectedObjects_.end()) return;
    ObjectList kept = selectedObjects_;
    kept.erase(kept.begin() + (found - selectedObjects_.begin()));
    setSelectedObjects(kept);
}

void EditingState::keepSelectedObjectsAmong(const ObjectList& present) {
    ObjectList kept;
    for (const auto& object : selectedObjects_)
        if (std::find(present.begin(), present.end(), object) != present.end()) kept.push_back(object);
    if (kept.size() != selectedObjects_.size()) setSelectedObjects(kept);
}

void EditingState::resetWithoutNotifying() {
    currentTime_ = 0;
    previousTime_ = 0;
    selectedObjects_.clear();
    selectedChaptermarks_.clear();
    selectedState_.reset();
    selectedTriggeredState_.reset();
}

} // namespace vtl
