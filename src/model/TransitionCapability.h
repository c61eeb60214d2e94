#pragma once
// Marks a transition between two clips: it lies on a track like a clip, but the container keeps it
// apart in its caches, leaves it out of the time extents and never splits it, and a track steps
// over it when it looks for neighbours. The transition object hands it out through
// CompositionBaseObject::asTransition(); other kinds answer null. What the container comes to ask
// of a transition (its two objects and its times) belongs here.

namespace vtl {

class TransitionCapability {
public:
    virtual ~TransitionCapability() = default;
};

} // namespace vtl
