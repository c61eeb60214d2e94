#include "model/CompositionModelNotifications.h"
#include "model/TimingCurves.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/ModelFixture.h"

#include <vector>

namespace vtl {
namespace {

using test::ModelFixture;

class TimelineObject : public ModelFixture {
protected:
    // Counts "objectChanged" posts for the object while alive.
    struct ChangeCounter {
        explicit ChangeCounter(const CompositionBaseObject* watched) {
            token = ScopedNotificationObserver(
                NotificationCenter::defaultCenter(),
                NotificationCenter::defaultCenter().addObserver(
                    kObjectChangedNotification, nullptr, [this, watched](const Notification& n) {
                        auto* changed =
                            n.value<std::shared_ptr<CompositionBaseObject>>(kCompositionChangedObjectKey);
                        if (changed && changed->get() == watched) ++count;
                    }));
        }
        int count = 0;
        ScopedNotificationObserver token;
    };
};

TEST_F(TimelineObject, StretchModesMoveKeyframesWithTheStart) {
    struct Case {
        StretchMode mode;
        double expectedFirst, expectedSecond;
    };
    const Case cases[] = {
        {StretchMode::ShiftSecondHalf, 1.0, 6.0}, // 8 ≥ half of the new duration 8: keeps its place in time
        {StretchMode::Scale, 0.8, 6.4},
        {StretchMode::Keep, 1.0, 8.0},
    };
    for (const Case& c : cases) {
        auto object = makeObject(10, 20);
        object->setStretchMode(c.mode);
        auto first = addKeyframe(*object, 1);
        auto second = addKeyframe(*object, 8);
        object->setStartTime(12);
        EXPECT_DOUBLE_EQ(first->time(), c.expectedFirst) << "mode " << static_cast<int32_t>(c.mode);
        EXPECT_DOUBLE_EQ(second->time(), c.expectedSecond) << "mode " << static_cast<int32_t>(c.mode);
        EXPECT_EQ(object->startTime(), 12.0);
    }
}

TEST_F(TimelineObject, MovingByTheSnapStartKeepsKeyframesRelativeToTheStart) {
    for (StretchMode mode : {StretchMode::ShiftSecondHalf, StretchMode::Scale, StretchMode::Keep}) {
        SCOPED_TRACE(static_cast<int32_t>(mode));
        auto object = makeObject(10, 20);
        object->setStretchMode(mode);
        object->enableAnimations();
        auto first = addKeyframe(*object, 5);
        auto second = addKeyframe(*object, 9);
        for (double to : {14.0, 7.0}) {
            object->moveSnapStartTimeTo(to);
            EXPECT_DOUBLE_EQ(object->startTime(), to);
            EXPECT_DOUBLE_EQ(object->endTime(), to + 10);
            EXPECT_DOUBLE_EQ(first->time(), 5);
            EXPECT_DOUBLE_EQ(second->time(), 9);
        }
    }
}

TEST_F(TimelineObject, EndTimeShiftsTheSecondHalf) {
    auto object = makeObject(0, 10);
    auto first = addKeyframe(*object, 2);
    auto second = addKeyframe(*object, 9);
    object->setEndTime(12);
    EXPECT_DOUBLE_EQ(first->time(), 2);
    EXPECT_DOUBLE_EQ(second->time(), 11);
}

TEST_F(TimelineObject, UnchangedStartIsNoChangeButUnchangedEndStillInvalidates) {
    auto object = makeObject(10, 20);
    ChangeCounter changes(object.get());
    object->setStartTime(10);
    EXPECT_EQ(changes.count, 0);
    object->setEndTime(20);
    EXPECT_EQ(changes.count, 1);
}

TEST_F(TimelineObject, ObjectWithoutContainerPostsNothing) {
    auto object = makeModelObject<CompositionRectangularObject>(nullptr);
    ChangeCounter changes(object.get());
    object->setName("loose");
    object->setEndTime(3);
    EXPECT_EQ(changes.count, 0);
    EXPECT_FALSE(object->postsChangeNotifications());
}

TEST_F(TimelineObject, AnimationSwitchManagesTheResetPane) {
    auto object = makeObject(0, 5);
    object->setPropertyNames({"A.nib", "B.nib", "C.nib", "D.nib"});
    object->enableAnimations();
    EXPECT_EQ(object->propertyNames(), (std::vector<std::string>{"A.nib", "B.nib", "C.nib",
                                                                 "CompositionInspectorReset.nib", "D.nib"}));
    object->setAnimationEnabled(true);
    EXPECT_EQ(object->propertyNames().size(), 5u) << "already present";
    object->toggleAnimationEnabled();
    EXPECT_FALSE(object->isAnimationEnabled());
    EXPECT_EQ(object->propertyNames(), (std::vector<std::string>{"A.nib", "B.nib", "C.nib", "D.nib"}));

    auto few = makeObject(0, 5);
    few->setPropertyNames({"A.nib"});
    few->enableAnimations();
    EXPECT_EQ(few->propertyNames(), (std::vector<std::string>{"A.nib", "CompositionInspectorReset.nib"}));
}

TEST_F(TimelineObject, OneLevelOfDependency) {
    auto p = makeObject(0, 5), q = makeObject(0, 5), r = makeObject(0, 5);
    p->addDependentTrack(q);
    EXPECT_EQ(q->owningTrack(), p);
    EXPECT_TRUE(p->isDependentTrack(q.get()));
    EXPECT_TRUE(p->canBecomeOwnerOfObject(*r));
    EXPECT_FALSE(p->canBecomeOwnerOfObject(*q));
    EXPECT_FALSE(q->canBecomeOwnerOfObject(*r));
    EXPECT_FALSE(r->canBecomeOwnerOfObject(*p));

    // Moving q to another owner takes it from the first.
    r->addDependentTrack(q);
    EXPECT_FALSE(p->hasDependentTracks());
    EXPECT_EQ(q->owningTrack(), r);

    r->prepareForDeletion();
    EXPECT_EQ(q->owningTrack(), nullptr);
}

TEST_F(TimelineObject, RemovingKeyframesRefusesTheNoneAnimationStateAndStrangers) {
    auto object = makeObject(0, 5);
    auto kept = addKeyframe(*object, 1);
    object->removeState(object->noneAnimationState());
    object->removeState(makeModelObject<CompositionRectangularState>(object.get()));
    EXPECT_EQ(object->countOfStates(), 1u);
    addKeyframe(*object, 2);
    addKeyframe(*object, 3);
    object->removeAllStatesExcept({1});
    ASSERT_EQ(object->countOfStates(), 1u);
    EXPECT_DOUBLE_EQ(object->objectInStatesAtIndex(0)->time(), 2);
    object->removeAllStates();
    EXPECT_EQ(object->countOfStates(), 0u);
}

TEST_F(TimelineObject, DraggedKeyframeIsPutBackInOrder) {
    auto object = makeObject(0, 10);
    auto a = addKeyframe(*object, 1), b = addKeyframe(*object, 2), c = addKeyframe(*object, 3);
    a->setTime(2.5);
    object->removeAndReinsertState(a);
    EXPECT_EQ(object->states(), (StateList{b, a, c}));
}

TEST_F(TimelineObject, CopiesGetANewIdentityThatPointsAtTheFirstSource) {
    auto object = makeObject(2, 8);
    object->setName("Clip");
    object->enableAnimations();
    object->setStretchMode(StretchMode::Scale);
    auto keyframe = addKeyframe(*object, 1, 0.5f, AnimationTimingKind::EaseIn);
    settle();

    auto copy = object->copy();
    EXPECT_EQ(undoManager().undoStepCount(), 0u) << "making a copy registers no undo";
    EXPECT_EQ(copy->className(), "CompositionRectangularObject");
    EXPECT_NE(copy->uniqueID(), object->uniqueID());
    EXPECT_EQ(copy->originalObjectUniqueID(), object->uniqueID());
    EXPECT_EQ(copy->startTime(), 2.0);
    EXPECT_EQ(copy->endTime(), 8.0);
    EXPECT_TRUE(copy->isAnimationEnabled());
    EXPECT_EQ(copy->stretchMode(), StretchMode::Scale);
    ASSERT_EQ(copy->countOfStates(), 1u);
    auto copiedKeyframe =
        std::dynamic_pointer_cast<CompositionRectangularState>(copy->objectInStatesAtIndex(0));
    ASSERT_NE(copiedKeyframe, nullptr);
    EXPECT_NE(copiedKeyframe, keyframe);
    EXPECT_EQ(copiedKeyframe->baseObject(), copy.get());
    EXPECT_EQ(copiedKeyframe->animationTimingKind(), AnimationTimingKind::EaseIn);
    EXPECT_EQ(copy->noneAnimationState()->baseObject(), copy.get());

    auto copyOfCopy = copy->copy();
    EXPECT_EQ(copyOfCopy->originalObjectUniqueID(), object->uniqueID());
}

TEST_F(TimelineObject, SecondOriginalIdentityIsLoggedAndOverwrites) {
    auto object = makeObject(0, 1);
    object->setOriginalObjectUniqueID("first");
    std::vector<std::string> lines;
    LogSink previous = setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    object->setOriginalObjectUniqueID("second");
    setLogSink(previous);
    EXPECT_EQ(object->originalObjectUniqueID(), "second");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("originalObjectUniqueID was not nil. Overwriting anyway."), std::string::npos);
}

} // namespace
} // namespace vtl
