#pragma once
// Marks a transition between two clips: it lies on a track like a clip, but the container keeps it
// apart in its caches, leaves it out of the time extents and never splits it, and a track steps
// over it when it looks for neighbours. The transition object hands it out through
// CompositionBaseObject::asTransition(); other kinds answer null. What the container and the two
// joined objects ask of a transition (its times) belongs here.

#include <memory>
#include <vector>

namespace vtl {

class CompositionBaseObject;

class TransitionCapability {
public:
    virtual ~TransitionCapability() = default;

    // Start, in seconds after the from-object's snapped start.
    virtual double transitionStartTime() const = 0;
    // End, in seconds after the to-object's snapped start.
    virtual double transitionEndTime() const = 0;
    // The same two in composition time.
    virtual double transitionStartTimeInGlobalTime() const = 0;
    virtual double transitionEndTimeInGlobalTime() const = 0;
    // The limits the joined objects' time setters respect: the to-object may not start after
    // earliestGlobalEndTime, the from-object may not end before latestGlobalStartTime.
    virtual double earliestGlobalEndTime() const = 0;
    virtual double latestGlobalStartTime() const = 0;
    // Brings the transition's times in step with the two objects after either moved.
    virtual void setupTimes() = 0;
    // Once a container has read its objects from an archive: whether the transition's links are
    // sound among them (it then makes its objects' links point back); false drops it from the
    // container, after it has cleared every link to itself.
    virtual bool repairLinksAfterDecoding(const std::vector<std::shared_ptr<CompositionBaseObject>>&) {
        return true;
    }
};

} // namespace vtl
