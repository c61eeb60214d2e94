#pragma once
// Visual objects of a document's container for the objects tests: a plain rectangular object, one
// with a natural size (and the text-like variant that resizes its rectangle instead of scaling),
// a stand-in transition with settable times and a stand-in track that anchors neighbours.

#include "model/CompositionObjectsContainer.h"
#include "model/MediaTrackCapability.h"
#include "model/TransitionCapability.h"
#include "model/support/ModelFixture.h"
#include "model/support/UndoRoundTrip.h"
#include "objects/CompositionRectangularObject.h"

#include <gtest/gtest.h>
#include <memory>

namespace vtl::test {

class SizedObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return natural; }
    bool wantsRectSetInsteadOfScaling() const override { return rectInsteadOfScaling; }
    Size natural{200, 100};
    bool rectInsteadOfScaling = false;
};

// Times as the transition object will report them; archived under a name of its own.
class StandInTransition : public CompositionRectangularObject, public TransitionCapability {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    std::string className() const override { return "StandInTransition"; }
    TransitionCapability* transitionCapability() override { return this; }
    double transitionStartTime() const override { return start; }
    double transitionEndTime() const override { return end; }
    double transitionStartTimeInGlobalTime() const override { return globalStart; }
    double transitionEndTimeInGlobalTime() const override { return globalEnd; }
    double earliestGlobalEndTime() const override { return earliestEnd; }
    double latestGlobalStartTime() const override { return latestStart; }
    void setupTimes() override { ++setupCount; }
    double start = 0, end = 0, globalStart = 0, globalEnd = 0, earliestEnd = 0, latestStart = 0;
    int setupCount = 0;
};

class AnchoringTrack : public CompositionRectangularObject, public MediaTrackCapability {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    MediaTrackCapability* mediaTrackCapability() override { return this; }
    std::shared_ptr<CompositionBaseObject> beforeAnchoredObject() const override { return before.lock(); }
    std::shared_ptr<CompositionBaseObject> afterAnchoredObject() const override { return after.lock(); }
    void setBeforeAnchoredObject(const std::shared_ptr<CompositionBaseObject>& object) override {
        before = object;
    }
    void setAfterAnchoredObject(const std::shared_ptr<CompositionBaseObject>& object) override {
        after = object;
    }
    std::weak_ptr<CompositionBaseObject> before, after;
};

class ObjectsFixture : public ModelFixture {
protected:
    ObjectsFixture() {
        ArchiveClassRegistry::shared().registerClass("StandInTransition", "CompositionRectangularObject", [] {
            return std::static_pointer_cast<Archivable>(makeModelObject<StandInTransition>(nullptr));
        });
    }

    // An object of the kind, in the container, from start to end.
    template <typename T = CompositionRectangularObject> std::shared_ptr<T> add(double start, double end) {
        auto object = makeModelObject<T>(container());
        object->setStartTimeEndTime(start, end);
        container()->addObject(object);
        return object;
    }

    std::shared_ptr<CompositionRectangularState> keyframeAt(CompositionBaseObject& object, double time) {
        for (const auto& state : object.states()) {
            if (std::abs(state->time() - time) < 1e-9)
                return std::dynamic_pointer_cast<CompositionRectangularState>(state);
        }
        return nullptr;
    }

    UndoRoundTrip roundTrip() { return UndoRoundTrip(undoManager(), document.objectsContainer()); }
};

} // namespace vtl::test
