// Keyframe lookup of CompositionBaseObject: the keyframe at a time, the keyframes to interpolate
// between, insertion order and new keyframes. Every lookup holds the keyframe-list lock.

#include "model/CompositionBaseObject.h"
#include "model/EffectFilterDescriptions.h"
#include "model/TimeSortedSearch.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

const char kEffectGroupPrefix[] = "effect_";
constexpr std::size_t kEffectGroupPrefixLength = 7;

bool matchesTime(const CompositionBaseState& state, double time, TimeTolerance tolerance) {
    return std::fabs(state.time() - time) <
           (tolerance == TimeTolerance::Exact ? kStateExactTimeTolerance : kStateTimeTolerance);
}

// The keyframe lookup rule over one list: before the start the first, after the end the last,
// else the first one within the tolerance.
std::shared_ptr<CompositionBaseState> stateForTimeIn(const StateList& list, double time,
                                                     TimeTolerance tolerance, double duration) {
    if (list.empty()) return nullptr;
    if (time < 0) return list.front();
    if (time > duration) return list.back();
    for (const auto& state : list) {
        if (matchesTime(*state, time, tolerance)) return state;
    }
    return nullptr;
}

// Bracketing over one list, after the exact match was ruled out: the last enabled keyframe
// before the time and the first enabled one after it.
StateList bracket(const StateList& list, double time) {
    std::shared_ptr<CompositionBaseState> before;
    for (const auto& state : list) {
        if (state->isDisabled()) continue;
        if (state->time() > time) {
            if (before) return {before, state};
            return {state};
        }
        before = state;
    }
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (!(*it)->isDisabled()) return {*it};
    }
    return {};
}

// The index of the first keyframe whose time lies after the time.
std::size_t indexAfter(const StateList& list, double time) {
    return insertionIndexForTime(list.size(), std::nextafter(time, HUGE_VAL),
                                 [&](std::size_t i) { return list[i]->time(); });
}

// The group's keyframe for a setter: before the start the first, after the end the last, else the
// first one within the tolerance; found by a search over the list ascending by time.
std::shared_ptr<CompositionBaseState> groupStateForTimeIn(const StateList& list, double time,
                                                          TimeTolerance tolerance, const std::string& group,
                                                          double duration) {
    const std::size_t count = list.size();
    auto carries = [&](std::size_t i) { return list[i]->carriesAttributeGroup(group); };
    if (time < 0 || time > duration) {
        for (std::size_t n = 0; n < count; ++n) {
            const std::size_t i = time < 0 ? n : count - 1 - n;
            if (carries(i)) return list[i];
        }
        return nullptr;
    }
    const double window = tolerance == TimeTolerance::Exact ? kStateExactTimeTolerance : kStateTimeTolerance;
    for (std::size_t i = indexAfter(list, time - window); i < count && list[i]->time() < time + window; ++i) {
        if (carries(i) && matchesTime(*list[i], time, tolerance)) return list[i];
    }
    return nullptr;
}

// The bracketing rule of a group (see findStatesToInterpolateForTimeForAttributeGroupNamed) by a
// search around the time instead of a copy of the group's keyframes.
CompositionBaseObject::GroupBracket groupBracketIn(const StateList& list, double time,
                                                   const std::string& group, double duration,
                                                   const CompositionBaseState* noneState) {
    using GroupBracket = CompositionBaseObject::GroupBracket;
    GroupBracket result;
    const std::size_t count = list.size();
    if (count == 0) return result;
    auto carries = [&](std::size_t i) { return list[i]->carriesAttributeGroup(group); };
    auto enabledCarrier = [&](std::size_t i) { return !list[i]->isDisabled() && carries(i); };
    // The last enabled keyframe of the group at or before the time and the first one after it.
    const std::size_t after = indexAfter(list, time);
    std::size_t before = after;
    while (before > 0 && !enabledCarrier(before - 1))
        --before;
    std::size_t next = after;
    while (next < count && !enabledCarrier(next))
        ++next;
    if (before == 0 && next == count) {
        result.source = GroupBracket::Source::NoneAnimationState;
        result.from = noneState;
        return result;
    }
    result.source = GroupBracket::Source::Keyframes;
    auto pick = [&](std::size_t i) {
        result.from = list[i].get();
        result.fromIndex = i;
        return result;
    };
    if (time < 0 || time > duration) {
        for (std::size_t n = 0; n < count; ++n) {
            const std::size_t i = time < 0 ? n : count - 1 - n;
            if (carries(i)) return pick(i);
        }
    }
    for (std::size_t i = indexAfter(list, time - kStateExactTimeTolerance);
         i < count && list[i]->time() < time + kStateExactTimeTolerance; ++i) {
        if (carries(i) && matchesTime(*list[i], time, TimeTolerance::Exact)) return pick(i);
    }
    if (before == 0) return pick(next);
    pick(before - 1);
    if (next < count) {
        result.to = list[next].get();
        result.toIndex = next;
    }
    return result;
}

} // namespace

StateList CompositionBaseObject::bracketStatesInList(const StateList& list, double time) const {
    if (list.empty()) return {};
    if (time < 0) return {list.front()};
    if (time > duration()) return {list.back()};
    return bracket(list, time);
}

StateList CompositionBaseObject::statesForEffectNamed(const std::string& effectName,
                                                      NoneAnimationState noneAnimationState) const {
    StateList result;
    if (noneAnimationState == NoneAnimationState::Include && noneAnimationState_ &&
        noneAnimationState_->hasEffectNamed(effectName)) {
        result.push_back(noneAnimationState_);
    }
    RecursiveMutexLock lock(statesMutex_);
    for (const auto& state : states_) {
        if (state->hasEffectNamed(effectName)) result.push_back(state);
    }
    return result;
}

StateList CompositionBaseObject::statesForAttributeGroupNamed(const std::string& group) const {
    if (group.rfind(kEffectGroupPrefix, 0) == 0) {
        return statesForEffectNamed(group.substr(kEffectGroupPrefixLength), NoneAnimationState::Exclude);
    }
    StateList result;
    RecursiveMutexLock lock(statesMutex_);
    for (const auto& state : states_) {
        if (state->carriesAttributeGroup(group)) result.push_back(state);
    }
    return result;
}

StateList CompositionBaseObject::statesForTime(double time, TimeTolerance tolerance) const {
    StateList result;
    RecursiveMutexLock lock(statesMutex_);
    for (const auto& state : states_) {
        if (matchesTime(*state, time, tolerance)) result.push_back(state);
    }
    return result;
}

std::shared_ptr<CompositionBaseState> CompositionBaseObject::stateForTime(double time,
                                                                          TimeTolerance tolerance) const {
    RecursiveMutexLock lock(statesMutex_);
    return stateForTimeIn(states_, time, tolerance, duration());
}

std::shared_ptr<CompositionBaseState>
CompositionBaseObject::stateForTimeForEffectNamed(double time, TimeTolerance tolerance,
                                                  const std::string& effectName) const {
    return stateForTimeIn(statesForEffectNamed(effectName, NoneAnimationState::Exclude), time, tolerance,
                          duration());
}

std::shared_ptr<CompositionBaseState>
CompositionBaseObject::stateForTimeForAttributeGroupNamed(double time, TimeTolerance tolerance,
                                                          const std::string& group) const {
    RecursiveMutexLock lock(statesMutex_);
    return groupStateForTimeIn(states_, time, tolerance, group, duration());
}

std::size_t CompositionBaseObject::firstIndexAfter(double time) const {
    RecursiveMutexLock lock(statesMutex_);
    return indexAfter(states_, time);
}

StateList CompositionBaseObject::findStatesToInterpolateForTime(double time) const {
    if (!animationEnabled_) return {noneAnimationState_};
    RecursiveMutexLock lock(statesMutex_);
    if (states_.empty()) return {};
    if (time < 0) return {states_.front()};
    if (time > duration()) return {states_.back()};
    if (auto exact = stateForTimeIn(states_, time, TimeTolerance::Exact, duration())) return {exact};
    return bracket(states_, time);
}

CompositionBaseObject::GroupBracket
CompositionBaseObject::bracketForAttributeGroup(double time, const std::string& group) const {
    if (!animationEnabled_) {
        GroupBracket result;
        result.source = GroupBracket::Source::NoneAnimationState;
        result.from = noneAnimationState_.get();
        return result;
    }
    RecursiveMutexLock lock(statesMutex_);
    return groupBracketIn(states_, time, group, duration(), noneAnimationState_.get());
}

StateList
CompositionBaseObject::findStatesToInterpolateForTimeForAttributeGroupNamed(double time,
                                                                            const std::string& group) const {
    RecursiveMutexLock lock(statesMutex_);
    const GroupBracket found = bracketForAttributeGroup(time, group);
    switch (found.source) {
    case GroupBracket::Source::NoKeyframes:
        return {};
    case GroupBracket::Source::NoneAnimationState:
        return {noneAnimationState_};
    case GroupBracket::Source::Keyframes:
        break;
    }
    StateList result{states_[found.fromIndex]};
    if (found.to) result.push_back(states_[found.toIndex]);
    return result;
}

StateList CompositionBaseObject::findStatesToInterpolateForTimeForEffectNamed(double,
                                                                              const std::string&) const {
    return {};
}

std::size_t CompositionBaseObject::indexForState(const CompositionBaseState& state) const {
    RecursiveMutexLock lock(statesMutex_);
    // Before every keyframe at or after its time.
    auto at = std::lower_bound(states_.begin(), states_.end(), state.time(),
                               [](const auto& member, double time) { return member->time() < time; });
    return static_cast<std::size_t>(at - states_.begin());
}

bool CompositionBaseObject::canCreateStateAtTime(double time) const {
    return stateForTime(time, TimeTolerance::Loose) == nullptr;
}

std::shared_ptr<CompositionBaseState> CompositionBaseObject::createNewStateForTime(double time,
                                                                                   NewStateValues values) {
    std::shared_ptr<CompositionBaseState> state = newStateOfStateClass();
    state->setUndoDisabled(undoDisabled());
    const double clamped = std::min(std::max(time, 0.0), duration());
    state->setTime(clamped);
    if (values == NewStateValues::Interpolated)
        fillStateWithInterpolatedValuesForTime(*state, startTime_ + clamped);
    return state;
}

void CompositionBaseObject::fillStateWithInterpolatedValuesForTime(CompositionBaseState& state,
                                                                   double compositionTime) {
    state.setTime(compositionTime - startTime_);
    std::shared_ptr<CompositionBaseState> source;
    if (animationEnabled_) {
        StateList found = findStatesToInterpolateForTime(compositionTime - startTime_);
        if (!found.empty()) source = found.front();
    }
    if (!source) source = noneAnimationState_;
    if (!source || source.get() == &state) return;
    state.setEffects(source->effects());
    // Numeric and colour values of every effect as the object shows them at that time.
    for (const auto& [effectName, values] : source->effectValues()) {
        const PlistDictionary* attributes = values.dictionaryValue();
        if (!attributes) continue;
        for (const auto& [attribute, value] : *attributes) {
            const FilterAttributeDescription* description =
                attributeDescriptionForAttribute(attribute, effectName);
            if (!description) continue;
            if (description->attributeClass == kFilterAttributeClassNumber) {
                const float interpolated = floatForEffectNamed(effectName, attribute, compositionTime);
                state.storeEffectValue(effectName, attribute,
                                       PropertyList(static_cast<double>(interpolated)));
            } else if (description->attributeClass == kFilterAttributeClassColor) {
                const RGBAColor interpolated = colorForEffectNamed(effectName, attribute, compositionTime);
                state.storeEffectValue(effectName, attribute, PropertyList(effectColorText(interpolated)));
            }
        }
    }
}

std::shared_ptr<CompositionBaseState> CompositionBaseObject::stateAtTime(double time, const StateList& list,
                                                                         std::size_t* index) {
    std::optional<std::size_t> found =
        indexInEffectAtTime(list.size(), time, [&](std::size_t i) { return list[i]->time(); });
    if (index) *index = found.value_or(0);
    return found ? list[*found] : nullptr;
}

} // namespace vtl
