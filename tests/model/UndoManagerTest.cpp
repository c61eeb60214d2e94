#include "platform/foundation/DispatchMainLoop.h"
#include "support/ModelFixture.h"

#include <string>
#include <vector>

namespace vtl {
namespace {

using test::ModelFixture;

class CompositionUndo : public ModelFixture {
protected:
    void SetUp() override { settle(); }

    // A registration that appends its mark to `undone` when it runs.
    UndoManager::Action mark(std::string name) {
        return [this, name] { undone.push_back(name); };
    }

    std::vector<std::string> undone;
    int targetA = 0, targetB = 0;
};

TEST_F(CompositionUndo, ChangesOfOnePassFormOneStep) {
    auto object = makeObject(0, 10);
    settle();
    object->setName("one");
    object->setEndTime(20);
    endPass();
    object->setName("two");
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 2u);
    undoManager().undo();
    EXPECT_EQ(object->name(), "one");
    undoManager().undo();
    EXPECT_EQ(object->endTime(), 10.0);
    EXPECT_NE(object->name(), "one");
    undoManager().redo();
    EXPECT_EQ(object->name(), "one");
    EXPECT_EQ(object->endTime(), 20.0);
}

TEST_F(CompositionUndo, CoalescedRegistrationsForOneTargetFormOneStep) {
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("a1"));
    endPass(); // half a second later, in another pass
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("a2"));
    endPass();
    EXPECT_TRUE(undoManager().hasBegunCustomUndoGrouping());
    undoManager().closeUndoGroupFromTimer(); // the 1.0 s timer
    endPass();
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("a3"));
    undoManager().closeUndoGroupFromTimer();
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 2u);
    undoManager().undo();
    EXPECT_EQ(undone, (std::vector<std::string>{"a3"}));
    undoManager().undo();
    EXPECT_EQ(undone, (std::vector<std::string>{"a3", "a2", "a1"}));
}

TEST_F(CompositionUndo, AnotherTargetOrOperationStartsANewStep) {
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("a"));
    endPass();
    undoManager().customUndoGroupRegisterUndo(&targetB, "setGain", mark("b"));
    endPass();
    undoManager().customUndoGroupRegisterUndo(&targetB, "setPan", mark("b-pan"));
    endPass();
    undoManager().customUndoGroupPrepare(&targetB, mark("b-any"));
    endPass();
    undoManager().closeUndoGroupFromTimer();
    endPass();
    // The per-target form joins the group of the same target whatever its operation.
    EXPECT_EQ(undoManager().undoStepCount(), 3u);
}

TEST_F(CompositionUndo, PlainRegistrationAfterACoalescedOneIsItsOwnStep) {
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("coalesced"));
    endPass();
    undoManager().registerUndo(&targetA, mark("plain"));
    EXPECT_FALSE(undoManager().hasBegunCustomUndoGrouping());
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 2u);
    undoManager().undo();
    EXPECT_EQ(undone, (std::vector<std::string>{"plain"}));
}

TEST_F(CompositionUndo, UndoAndRedoCloseAnOpenCoalescingGroup) {
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("a"));
    undoManager().undo();
    EXPECT_EQ(undone, (std::vector<std::string>{"a"}));
    EXPECT_FALSE(undoManager().hasBegunCustomUndoGrouping());
    endPass();
    undoManager().closeUndoGroupFromTimer(); // a late timer finds nothing to close
    EXPECT_EQ(undoManager().groupingLevel(), 0);
}

TEST_F(CompositionUndo, TheTimerClosesTheCoalescingGroup) {
    undoManager().customUndoGroupRegisterUndo(&targetA, "setGain", mark("a"));
    EXPECT_TRUE(runMainLoopUntil([&] { return !undoManager().hasBegunCustomUndoGrouping(); }, 10.0));
    endPass();
    EXPECT_EQ(undoManager().groupingLevel(), 0);
    EXPECT_EQ(undoManager().undoStepCount(), 1u);
}

TEST_F(CompositionUndo, IgnoringChangesDropsPlainRegistrationsOnly) {
    auto object = makeObject(0, 10);
    settle();
    undoManager().setIgnoresChanges(true);
    object->setName("ignored");
    undoManager().registerUndo(&targetA, mark("plain"));
    undoManager().customUndoGroupPrepare(&targetA, mark("coalesced"));
    undoManager().closeUndoGroupFromTimer();
    undoManager().setIgnoresChanges(false);
    endPass();
    ASSERT_EQ(undoManager().undoStepCount(), 1u);
    undoManager().undo();
    EXPECT_EQ(undone, (std::vector<std::string>{"coalesced"}));
    EXPECT_EQ(object->name(), "ignored");
}

TEST_F(CompositionUndo, ChangesWhileUndoIsDisabledAreNotUndoable) {
    auto object = makeObject(0, 10);
    settle();
    object->setUndoDisabled(true);
    object->setName("quiet");
    object->setUndoDisabled(false);
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 0u) << "clearing the flag registers nothing later";

    container()->setUndoDisabled(true);
    object->setName("container quiet");
    container()->setUndoDisabled(false);
    container()->setIsOffscreen(true);
    object->setName("offscreen");
    container()->setIsOffscreen(false);
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 0u);
}

TEST_F(CompositionUndo, ValueFromNothingUndoesBackToNothing) {
    auto object = makeObject(0, 10);
    auto keyframe = addKeyframe(*object, 1);
    settle();
    keyframe->setRect(Rect(1, 2, 3, 4));
    keyframe->setBackgroundColor(RGBAColor::device(0, 1, 0));
    endPass();
    undoManager().undo();
    EXPECT_FALSE(keyframe->hasRectOrScaling());
    EXPECT_FALSE(keyframe->backgroundColor().has_value());
    undoManager().redo();
    EXPECT_EQ(keyframe->rect(), Rect(1, 2, 3, 4));
    EXPECT_EQ(keyframe->backgroundColor(), RGBAColor::device(0, 1, 0));
}

TEST_F(CompositionUndo, RemovedElementReturnsToItsIndex) {
    auto object = makeObject(0, 10);
    StateList keyframes{addKeyframe(*object, 1), addKeyframe(*object, 2), addKeyframe(*object, 3),
                        addKeyframe(*object, 4)};
    settle();
    object->removeState(keyframes[2]);
    endPass();
    EXPECT_EQ(object->countOfStates(), 3u);
    undoManager().undo();
    EXPECT_EQ(object->states(), keyframes);
    undoManager().redo();
    EXPECT_EQ(object->states(), (StateList{keyframes[0], keyframes[1], keyframes[3]}));
}

TEST_F(CompositionUndo, EndMarkerUndoRestoresTheFlag) {
    auto object = makeObject(0, 10);
    auto keyframe = addKeyframe(*object, 1);
    keyframe->insertObjectInEffectsAtIndex(EffectEntry{{"name", PropertyList("CIBloom")}}, 0);
    keyframe->setEffectValuesForEffectNamed(PlistDictionary{}, "CIBloom");
    settle();
    keyframe->setEndMarker(true, "CIBloom");
    endPass();
    EXPECT_TRUE(keyframe->endMarkerForAttributeGroupNamed("CIBloom"));
    undoManager().undo();
    EXPECT_FALSE(keyframe->endMarkerForAttributeGroupNamed("CIBloom"));
    undoManager().redo();
    EXPECT_TRUE(keyframe->endMarkerForAttributeGroupNamed("CIBloom"));
}

TEST_F(CompositionUndo, AdditionalKeyPathsAreObservedUntilRemoved) {
    auto object = makeObject(0, 10);
    auto keyframe = addKeyframe(*object, 1);
    settle();
    // Not among the keyframe's own undo keys.
    keyframe->addUndoKeyPath("endMarkerForAnyEffect");
    EXPECT_EQ(keyframe->additionalObservedUndoProperties(),
              (std::vector<std::string>{"endMarkerForAnyEffect"}));
    keyframe->removeUndoKeyPath("endMarkerForAnyEffect");
    EXPECT_TRUE(keyframe->additionalObservedUndoProperties().empty());
    keyframe->setTime(2); // still observed through its own list
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 1u);
}

} // namespace
} // namespace vtl
