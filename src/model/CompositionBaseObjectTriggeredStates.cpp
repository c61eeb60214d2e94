// The triggered-state operations of timeline objects: the list stays ascending by start time,
// and additions and drags are checked against overlaps.

#include "model/CompositionBaseObject.h"

#include <algorithm>

namespace vtl {

using Object = CompositionBaseObject;

std::shared_ptr<CompositionBaseTriggeredState> Object::newTriggeredState(double start, double end) const {
    return makeModelObject<CompositionBaseTriggeredState>(start, end);
}

std::size_t Object::indexForTriggeredState(const CompositionBaseTriggeredState& state) const {
    for (std::size_t i = 0; i < triggeredStates_.size(); ++i) {
        if (triggeredStates_[i]->startTime() > state.startTime()) return i;
    }
    return triggeredStates_.size();
}

void Object::addTriggeredState(const std::shared_ptr<CompositionBaseTriggeredState>& state) {
    if (!state) return;
    state->setObject(this);
    insertObjectInTriggeredStatesAtIndex(state, indexForTriggeredState(*state));
    invalidate();
}

void Object::removeTriggeredState(const CompositionBaseTriggeredState* state) {
    for (std::size_t i = 0; i < triggeredStates_.size(); ++i) {
        if (triggeredStates_[i].get() == state) {
            removeObjectFromTriggeredStatesAtIndex(i);
            invalidate();
            return;
        }
    }
}

std::shared_ptr<CompositionBaseTriggeredState> Object::addNewTriggeredStateAtGlobalTimes(double globalStart,
                                                                                         double globalEnd) {
    if (!allowsAddingTriggeredStates()) return nullptr;
    auto state = newTriggeredState(globalStart - startTime_, globalEnd - startTime_);
    addTriggeredState(state);
    return state;
}

std::shared_ptr<CompositionBaseTriggeredState> Object::triggeredStateAtObjectTime(double time) const {
    for (const auto& state : triggeredStates_) {
        if (state->startTime() <= time && time <= state->endTime()) return state;
    }
    return nullptr;
}

TriggeredStateList Object::triggeredStatesAtObjectTime(double time) const {
    TriggeredStateList found;
    for (const auto& state : triggeredStates_) {
        if (state->startTime() <= time + 1.0 && state->endTime() >= time - 3.0) found.push_back(state);
    }
    return found;
}

bool Object::wouldFitTriggeredStateAtObjectTime(double time, double duration) const {
    if (!allowsAddingTriggeredStates()) return false;
    const double end = time + duration;
    for (const auto& state : triggeredStates_) {
        const double s = state->startTime(), e = state->endTime();
        if ((e >= time && e <= end) || (s >= time && s <= end) || (s <= time && e >= end)) return false;
    }
    return true;
}

bool Object::triggeredStateCanBeDragged(const CompositionBaseTriggeredState& dragged, double globalStart,
                                        double globalEnd,
                                        std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const {
    const double s = globalStart - startTime_, e = globalEnd - startTime_;
    TriggeredStateList blocking;
    for (const auto& state : triggeredStates_) {
        if (state.get() == &dragged) continue;
        const double start = state->startTime(), end = state->endTime();
        if ((start < s && s < end) || (start < e && e < end) || (start < s && end > e) ||
            (start > s && end < e))
            blocking.push_back(state);
    }
    if (blocking.empty()) return true;
    if (inTheWay) *inTheWay = dragged.startTime() >= s ? blocking.back() : blocking.front();
    return false;
}

void Object::sortTriggeredStates() {
    std::stable_sort(triggeredStates_.begin(), triggeredStates_.end(),
                     [](const auto& a, const auto& b) { return a->startTime() < b->startTime(); });
}

} // namespace vtl
