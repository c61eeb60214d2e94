#include "model/CompositionBaseTriggeredState.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/MediaTrackCapability.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <algorithm>
#include <cstdio>

namespace vtl {

namespace {

using Base = CompositionBaseTriggeredState;
using Event = CompositionEventTriggeredState;

double timeOf(const PropertyList& entry) {
    return entry.numberForKey("time").value_or(0);
}

Rect focusRectOf(const PropertyList& entry) {
    if (const std::string* text = entry.stringForKey("focusRect")) return rectFromString(*text);
    return Rect();
}

} // namespace

const ModelKeyTable<CompositionBaseTriggeredState>& CompositionBaseTriggeredState::keyValueTable() {
    static const auto table = ModelKeyTable<Base>()
                                  .undoable("startTime", &Base::startTime, &Base::setStartTime)
                                  .undoable("endTime", &Base::endTime, &Base::setEndTime);
    return table;
}

const ModelKeyTable<CompositionEventTriggeredState>& CompositionEventTriggeredState::keyValueTable() {
    static const auto table =
        ModelKeyTable<Event>()
            .undoable("kind", &Event::kind, &Event::setKind)
            .undoable("suspensionBehaviour", &Event::suspensionBehaviour, &Event::setSuspensionBehaviour)
            .undoable("followBehaviour", &Event::followBehaviour, &Event::setFollowBehaviour)
            .undoable("maximumZoomFactor", &Event::maximumZoomFactor, &Event::setMaximumZoomFactor)
            .undoable("zoomTime", &Event::zoomTime, &Event::setZoomTime);
    return table;
}

// --- CompositionBaseTriggeredState

void Base::setStartTime(double time) {
    setObservedValue("startTime", startTime_, time);
    invalidateOwner();
}

void Base::setEndTime(double time) {
    setObservedValue("endTime", endTime_, time);
    invalidateOwner();
}

double Base::globalStartTime() const {
    return (object_ ? object_->startTime() : 0) + startTime_;
}

double Base::globalEndTime() const {
    return (object_ ? object_->startTime() : 0) + endTime_;
}

void Base::setGlobalStartTime(double time) {
    setStartTime(time - (object_ ? object_->startTime() : 0));
}

void Base::setGlobalEndTime(double time) {
    setEndTime(time - (object_ ? object_->startTime() : 0));
}

void Base::setStartTimeEndTimeObject(double start, double end, CompositionBaseObject* object) {
    startTime_ = start;
    endTime_ = end;
    object_ = object;
}

void Base::shiftStateBy(double delta, OwnerUpdate ownerUpdate) {
    if (delta == 0) return;
    setStartTime(startTime_ + delta);
    setEndTime(endTime_ + delta);
    if (ownerUpdate == OwnerUpdate::Invalidate) invalidateOwner();
}

void Base::invalidateOwner() const {
    if (object_) object_->invalidate();
}

void Base::copyRangeInto(CompositionBaseTriggeredState& target) const {
    target.setStartTimeEndTimeObject(startTime_, endTime_, object_);
}

std::shared_ptr<CompositionBaseTriggeredState> Base::copy() const {
    auto target = makeModelObject<CompositionBaseTriggeredState>();
    copyRangeInto(*target);
    return target;
}

bool Base::canBeDraggedToTime(double time, std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const {
    if (!object_) return true;
    const double start = object_->startTime();
    return object_->triggeredStateCanBeDragged(*this, start + time, start + time + duration(), inTheWay);
}

bool Base::startCanBeDraggedToTime(double time,
                                   std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const {
    if (!object_) return true;
    const double start = object_->startTime();
    return object_->triggeredStateCanBeDragged(*this, start + time, start + endTime_, inTheWay);
}

bool Base::endCanBeDraggedToTime(double time,
                                 std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const {
    if (!object_) return true;
    const double start = object_->startTime();
    return object_->triggeredStateCanBeDragged(*this, start + startTime_, start + time, inTheWay);
}

CompositionUndoManager* Base::undoManager() const {
    return object_ ? object_->undoManager() : nullptr;
}

void Base::updateAfterUndo() {
    if (object_) object_->updateAfterUndo();
}

std::string Base::description() const {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "<%s: %p>, object: %p from %f to %f", className().c_str(),
                  static_cast<const void*>(this), static_cast<const void*>(object_), startTime_, endTime_);
    return buffer;
}

void Base::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeDouble("startTime", startTime_);
    coder.encodeDouble("endTime", endTime_);
    coder.encodeObject("key_triggeredStateObject", object_);
}

void Base::initWithCoder(KeyedUnarchiver& coder) {
    startTime_ = coder.decodeDoubleForKey("startTime");
    endTime_ = coder.decodeDoubleForKey("endTime");
    object_ = coder.decodeObjectOfClass<CompositionBaseObject>("key_triggeredStateObject").get();
}

// --- CompositionEventTriggeredState

Event::CompositionEventTriggeredState(double startTime, double endTime)
    : ModelKeyCoding(startTime, endTime)
    , zoomTime_(0.5) {}

void Event::setStartTime(double time) {
    Base::setStartTime(time);
    recacheRelevantEvents();
}

void Event::setEndTime(double time) {
    Base::setEndTime(time);
    recacheRelevantEvents();
}

void Event::shiftStateBy(double delta, OwnerUpdate ownerUpdate) {
    Base::shiftStateBy(delta, ownerUpdate);
    recacheRelevantEvents();
}

void Event::setKind(int32_t kind) {
    setObservedValue("kind", kind_, kind);
    recacheMouseEnterLeaveEvents();
    invalidateOwner();
}

void Event::setSuspensionBehaviour(int32_t behaviour) {
    setObservedValue("suspensionBehaviour", suspensionBehaviour_, behaviour);
    recacheMouseEnterLeaveEvents();
}

void Event::setFollowBehaviour(int32_t behaviour) {
    setObservedValue("followBehaviour", followBehaviour_, behaviour);
}

void Event::setMaximumZoomFactor(double factor) {
    setObservedValue("maximumZoomFactor", maximumZoomFactor_, factor);
    invalidateOwner();
}

void Event::setZoomTime(double seconds) {
    setObservedValue("zoomTime", zoomTime_, seconds);
    invalidateOwner();
}

void Event::setMouseEvents(const PlistArray& events) {
    events_ = events;
    recacheRelevantEvents();
}

void Event::setFocusEvents(const PlistArray& events) {
    focusEvents_ = events;
    recacheRelevantEvents();
}

void Event::recacheRelevantEvents() {
    relevantEvents_.clear();
    relevantFocusEvents_.clear();
    for (const PropertyList& event : events_) {
        const double time = timeOf(event);
        if (time >= startTime_ && time <= endTime_) relevantEvents_.push_back(event);
    }
    std::size_t firstRelevant = focusEvents_.size();
    for (std::size_t i = 0; i < focusEvents_.size(); ++i) {
        const double time = timeOf(focusEvents_[i]);
        if (time >= startTime_ && time <= endTime_) {
            if (firstRelevant == focusEvents_.size()) firstRelevant = i;
            relevantFocusEvents_.push_back(focusEvents_[i]);
        }
    }
    if (!focusEvents_.empty()) {
        if (!relevantFocusEvents_.empty()) {
            // The focus in force when the range begins.
            if (firstRelevant > 0)
                relevantFocusEvents_.insert(relevantFocusEvents_.begin(), focusEvents_[firstRelevant - 1]);
        } else {
            for (std::size_t i = focusEvents_.size(); i > 0; --i) {
                if (timeOf(focusEvents_[i - 1]) < startTime_) {
                    relevantFocusEvents_.push_back(focusEvents_[i - 1]);
                    break;
                }
            }
        }
    }
    recacheMouseEnterLeaveEvents();
}

void Event::recacheMouseEnterLeaveEvents() {
    mouseEnterLeaveFocusRectEvents_.clear();
    static const PlistArray noLocations;
    const MediaTrackCapability* track = object_ ? object_->asMediaTrack() : nullptr;
    const PlistArray& locations = track ? track->mouseLocationsArray() : noLocations;
    if (focusEvents_.empty() || locations.empty()) return;
    PlistArray& list = mouseEnterLeaveFocusRectEvents_;
    std::size_t m = 0;
    bool previousInside = false;
    for (std::size_t i = 0; i < focusEvents_.size() && m < locations.size(); ++i) {
        const double until = i + 1 < focusEvents_.size() ? timeOf(focusEvents_[i + 1]) : duration();
        const Rect focus = focusRectOf(focusEvents_[i]);
        while (m < locations.size() && timeOf(locations[m]) < until) {
            const std::string* pointText = locations[m].stringForKey("point");
            const bool inside = pointText && focus.containsPoint(pointFromString(*pointText));
            if (list.empty() || inside != previousInside) {
                PlistDictionary entry{{"inside", PropertyList(inside)},
                                      {"time", PropertyList(timeOf(locations[m]))}};
                if (inside) entry.set("focusRect", PropertyList(stringFromRect(focus)));
                list.push_back(PropertyList(std::move(entry)));
                previousInside = inside;
            }
            ++m;
        }
    }
    // No pointer position fell before the end of the last focus.
    if (list.empty()) return;
    // A leave followed by a re-entry of the same rectangle within a second is no leave at all.
    double previousTime = timeOf(list.front());
    Rect previousRect = focusRectOf(list.front());
    std::size_t k = 1;
    while (k < list.size()) {
        const bool inside = list[k].boolForKey("inside").value_or(false);
        if (inside) {
            const Rect rect = focusRectOf(list[k]);
            if (!(rect == previousRect)) {
                previousRect = rect;
            } else if (timeOf(list[k]) - previousTime < kQuickReentrySeconds) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(k));
                if (k < list.size()) {
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(k - 1));
                    continue;
                }
                break;
            }
        }
        previousTime = timeOf(list[k]);
        ++k;
    }
}

std::shared_ptr<CompositionBaseTriggeredState> Event::copy() const {
    auto target = makeModelObject<CompositionEventTriggeredState>();
    copyRangeInto(*target);
    target->kind_ = kind_;
    target->maximumZoomFactor_ = maximumZoomFactor_;
    target->zoomTime_ = zoomTime_;
    target->suspensionBehaviour_ = suspensionBehaviour_;
    target->followBehaviour_ = followBehaviour_;
    target->events_ = events_;
    target->focusEvents_ = focusEvents_;
    target->recacheRelevantEvents();
    return target;
}

std::string Event::description() const {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "From %f to %f", startTime_, endTime_);
    return Base::description() + buffer;
}

void Event::encodeWithCoder(KeyedArchiver& coder) const {
    Base::encodeWithCoder(coder);
    coder.encodeInt32("key_triggeredStateKind", kind_);
    coder.encodeInt32("key_triggeredStateSuspensionBehaviour", suspensionBehaviour_);
    coder.encodeInt32("key_triggeredStateFollowBehaviour", followBehaviour_);
    coder.encodeDouble("key_maximumZoomFactor", maximumZoomFactor_);
    coder.encodeNumber("key_triggeredStateZoomTime", zoomTime_);
}

void Event::initWithCoder(KeyedUnarchiver& coder) {
    Base::initWithCoder(coder);
    kind_ = coder.decodeInt32ForKey("key_triggeredStateKind");
    suspensionBehaviour_ = coder.decodeInt32ForKey("key_triggeredStateSuspensionBehaviour");
    followBehaviour_ = coder.decodeInt32ForKey("key_triggeredStateFollowBehaviour");
    maximumZoomFactor_ = coder.decodeDoubleForKey("key_maximumZoomFactor");
    zoomTime_ = coder.decodeNumberForKey("key_triggeredStateZoomTime").value_or(0.5);
}

// --- CompositionTrackTriggeredState

double CompositionTrackTriggeredState::cropCorrectedStartTime() const {
    const MediaTrackCapability* track = object_ ? object_->asMediaTrack() : nullptr;
    return startTime_ - (track ? track->movieStartTime() : 0);
}

std::shared_ptr<CompositionBaseTriggeredState> CompositionTrackTriggeredState::copy() const {
    auto target = makeModelObject<CompositionTrackTriggeredState>();
    copyRangeInto(*target);
    return target;
}

} // namespace vtl
