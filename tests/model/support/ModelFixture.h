#pragma once
// A document with its container and undo manager, and helpers to make timeline objects with
// keyframes and to end event-loop passes, for the model tests.

#include "document/CompositionDocument.h"
#include "model/CompositionRectangularState.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/foundation/DispatchMainLoop.h"

#include <gtest/gtest.h>
#include <memory>

namespace vtl::test {

class ModelFixture : public ::testing::Test {
protected:
    ModelFixture() { registerVisualObjectClasses(); }

    CompositionUndoManager& undoManager() { return *document.undoManager(); }
    CompositionObjectsContainer* container() { return document.objectsContainer().get(); }

    // Ends the current event-loop pass, which closes the pass's undo step.
    static void endPass() { runMainLoopOnce(0); }

    std::shared_ptr<CompositionRectangularObject> makeObject(double start, double end) {
        auto object = makeModelObject<CompositionRectangularObject>(container());
        object->setStartTimeEndTime(start, end);
        return object;
    }

    // A keyframe at the object time, added to the object's list.
    std::shared_ptr<CompositionRectangularState>
    addKeyframe(CompositionBaseObject& object, double time, float opacity = 1.0f,
                AnimationTimingKind kind = AnimationTimingKind::Linear) {
        auto state = makeModelObject<CompositionRectangularState>(&object);
        state->setTime(time);
        state->setOpacity(opacity);
        state->setAnimationTimingKind(kind);
        object.addNewState(state);
        return state;
    }

    // Starts the test with empty undo stacks.
    void settle() {
        endPass();
        undoManager().removeAllActions();
    }

    CompositionDocument document;
};

} // namespace vtl::test
