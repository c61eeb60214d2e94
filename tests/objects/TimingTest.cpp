#include "ObjectsFixture.h"
#include "model/CompositionModelNotifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

namespace vtl {
namespace {

using test::AnchoringTrack;
using test::ObjectsFixture;
using test::SizedObject;
using test::StandInTransition;

class Timing : public ObjectsFixture {};

TEST_F(Timing, TrimmingKeepsAQuarterSecondAndTheTransitionLimits) {
    auto object = add(10, 20);
    struct Case {
        const char* what;
        bool start; // shouldSetStartTime, else shouldSetEndTime
        double time;
        bool allowed;
    };
    const Case plain[] = {
        {"start 0.25 s before the end", true, 19.75, true},
        {"start 0.2 s before the end", true, 19.8, false},
        {"end 0.25 s after the start", false, 10.25, true},
        {"end 0.2 s after the start", false, 10.2, false},
    };
    for (const Case& c : plain) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.start ? object->shouldSetStartTime(c.time) : object->shouldSetEndTime(c.time), c.allowed);
    }
    auto into = add<StandInTransition>(9, 11);
    into->latestStart = 11;
    auto outOf = add<StandInTransition>(18, 20);
    outOf->earliestEnd = 18;
    object->setFromTransition(into);
    object->setToTransition(outOf);
    const Case linked[] = {
        {"start up to the next object's start", true, 18, true},
        {"start past the next object's start", true, 18.5, false},
        {"end down to the previous object's end", false, 11, true},
        {"end before the previous object's end", false, 10.5, false},
    };
    for (const Case& c : linked) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.start ? object->shouldSetStartTime(c.time) : object->shouldSetEndTime(c.time), c.allowed);
    }
}

TEST_F(Timing, TransitionsDrawTheObjectWhileTheyCoverItAndBoundWhereItSplits) {
    auto object = add(3, 10);
    EXPECT_TRUE(object->needsToDrawAtTime(3));
    EXPECT_TRUE(object->needsToDrawAtTime(10));
    EXPECT_FALSE(object->needsToDrawAtTime(10.01));
    EXPECT_FALSE(object->canBeSplitAtGlobalTime(3)) << "a cut at an end would leave an empty piece";

    auto into = add<StandInTransition>(2, 4);
    into->end = 1;
    into->globalEnd = 4;
    auto outOf = add<StandInTransition>(8, 10);
    outOf->start = 5;
    outOf->globalStart = 8;
    object->setFromTransition(into);
    object->setToTransition(outOf);
    struct Case {
        double time;
        bool draws;
        bool splits;
    };
    const Case cases[] = {
        {3.5, false, false}, {3.9, false, false}, {4.0, true, true},   {4.1, true, true},
        {7.9, true, true},   {8.0, true, true},   {8.1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(object->needsToDrawAtTime(c.time), c.draws);
        EXPECT_EQ(object->canBeSplitAtGlobalTime(c.time), c.splits);
    }

    object->enableAnimations();
    auto early = addKeyframe(*object, 0.5);
    auto middle = addKeyframe(*object, 3);
    auto late = addKeyframe(*object, 6);
    EXPECT_TRUE(object->stateIsDuringTransition(*early));
    EXPECT_FALSE(object->stateIsDuringTransition(*middle));
    EXPECT_TRUE(object->stateIsDuringTransition(*late));
    EXPECT_FALSE(object->stateIsDuringTransition(*object->noneAnimationState())) << "not a keyframe";
}

TEST_F(Timing, TransitionLinksFollowTheTimesOfBothSides) {
    auto object = add(3, 10);
    auto into = add<StandInTransition>(2, 4);
    auto outOf = add<StandInTransition>(8, 10);
    object->setFromTransition(into);
    object->setToTransition(outOf);
    int posted = 0;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    ScopedNotificationObserver observer(center, center.addObserver(kObjectTransitionTimesChangedNotification,
                                                                   object.get(),
                                                                   [&](const Notification&) { ++posted; }));
    into->setEndTime(5);
    outOf->setStartTime(7);
    into->setStartTime(1); // not observed
    EXPECT_EQ(posted, 2) << "the from-transition's end and the to-transition's start";

    object->setStartTime(2);
    object->setEndTime(9);
    EXPECT_EQ(into->setupCount, 2);
    EXPECT_EQ(outOf->setupCount, 2);

    object->setFromTransition(add(0, 1)); // no transition
    EXPECT_EQ(object->fromTransition(), into) << "an object that is no transition is refused";
    settle();
    auto check = roundTrip();
    check.check("from-transition", [&] { object->setFromTransition(nullptr); });
    check.check("to-transition", [&] { object->setToTransition(nullptr); });
}

TEST_F(Timing, StretchingTheEndWithoutKeyframesIsOneStepAndAnnounced) {
    auto object = add(0, 10);
    object->enableAnimations();
    addKeyframe(*object, 8);
    settle();
    int posted = 0;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    ScopedNotificationObserver observer(
        center, center.addObserver(kObjectChangedTimesExplicitlyWithoutKVCNotification, container(),
                                   [&](const Notification&) { ++posted; }));
    roundTrip().check("end time", [&] { object->animationStretchModeIgnoringSetEndTime(4); });
    EXPECT_EQ(object->endTime(), 4);
    EXPECT_EQ(object->states().front()->time(), 8) << "keyframes stay where they are";
    EXPECT_GE(posted, 1);
}

TEST_F(Timing, MovingToAnotherTrackReleasesTheAnchoringTracks) {
    auto object = add(5, 10);
    auto before = add<AnchoringTrack>(0, 5);
    auto after = add<AnchoringTrack>(10, 15);
    before->before = object;
    after->after = object;
    before->setTimeCantManuallyBeSet(true);
    after->setTimeCantManuallyBeSet(true);
    object->setTimeCantManuallyBeSet(true);
    object->setContainerTrack(container()->trackByNumber(object->containerTrack()->trackNumber() + 3));
    EXPECT_EQ(before->beforeAnchoredObject(), nullptr);
    EXPECT_EQ(after->afterAnchoredObject(), nullptr);
    EXPECT_FALSE(before->timeCantManuallyBeSet());
    EXPECT_FALSE(after->timeCantManuallyBeSet());
    EXPECT_FALSE(object->timeCantManuallyBeSet());
}

TEST_F(Timing, DeletionDropsTransitionsAndDissolvesMaskRelations) {
    auto object = add(0, 10);
    auto mask = add(0, 10);
    auto masked = add(0, 10);
    auto into = add<StandInTransition>(0, 1);
    object->setFromTransition(into);
    container()->establishMaskRelation(mask, object);
    container()->establishMaskRelation(object, masked);
    ASSERT_TRUE(object->hasMask() && object->isAMask());
    settle();
    auto check = roundTrip();
    check.check("delete", [&] { container()->removeObject(object.get()); });
    undoManager().redo();
    EXPECT_FALSE(container()->containsObject(into.get()));
    EXPECT_FALSE(mask->isAMask());
    EXPECT_FALSE(masked->hasMask());

    // An object outside any container keeps its relations and fails no assertion.
    auto loose = makeModelObject<CompositionRectangularObject>(nullptr);
    auto other = makeModelObject<CompositionRectangularObject>(nullptr);
    loose->setMaskObject(other);
    const int assertions = assertionFailureCount();
    loose->prepareForDeletion();
    EXPECT_EQ(assertionFailureCount(), assertions);
}

TEST_F(Timing, CopiesKeepTheGlobalShadowButNoRelations) {
    auto object = add(0, 10);
    auto mask = add(0, 10);
    object->setUsesGlobalShadow(true);
    object->setFromTransition(add<StandInTransition>(0, 1));
    container()->establishMaskRelation(mask, object);
    auto copy = std::dynamic_pointer_cast<CompositionRectangularObject>(object->copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->usesGlobalShadow());
    EXPECT_FALSE(copy->hasFromTransition());
    EXPECT_FALSE(copy->hasMask());
    EXPECT_TRUE(copy->maskObjects().empty());
}

TEST_F(Timing, WholeLifetimeEditsMoveScaleCentreAndFit) {
    auto object = add<SizedObject>(0, 10);
    object->setRect(Rect(0, 0, 200, 100), 0);
    object->shiftToCenter();
    EXPECT_EQ(object->rectForTime(0), Rect(540, 310, 200, 100));
    object->moveObjectOverEntireLifeTimeByPointValue({10, -10});
    EXPECT_EQ(object->rectForTime(0), Rect(550, 300, 200, 100))
        << "the none-animation state without keyframes";
    object->scaleObjectOverLifeTimeByFactor(2);
    EXPECT_EQ(object->rectForTime(0), Rect(1100, 600, 400, 200));

    object->natural = Size{2560, 720};
    object->setRect(Rect(0, 0, 2560, 720), 0);
    object->scaleToFitInCanvas();
    const Rect fitted = object->rectForTime(0);
    EXPECT_NEAR(fitted.size.width, 1280, 1e-3);
    EXPECT_NEAR(fitted.size.height, 360, 1e-3);
    EXPECT_NEAR(fitted.midX(), 640, 1e-3);
    EXPECT_NEAR(fitted.midY(), 360, 1e-3);

    object->enableAnimations();
    object->setRotation(30, 4);
    object->setOpacity(0.5f, 4);
    object->revertAtTime(4);
    EXPECT_EQ(object->countOfStates(), 2u) << "the keyframe at the time is reset, no new one";
    EXPECT_EQ(object->rotationForTime(4), 0.0f);
    EXPECT_EQ(object->rectForTime(4), Rect(0, 0, 2560, 720));
}

TEST_F(Timing, LoadingAddsTheInspectorPanesOnce) {
    auto object = add(0, 10);
    object->performPostLoadSetup();
    object->performPostLoadSetup();
    const auto& panes = object->propertyNames();
    EXPECT_EQ(std::count(panes.begin(), panes.end(), "MaskProperties.nib"), 1);
    EXPECT_EQ(std::count(panes.begin(), panes.end(), "DependentObjectPropertiesView.nib"), 1);
    object->setFromTransition(add<StandInTransition>(0, 1));
    const std::string text = object->description();
    EXPECT_NE(text.find("\n fromTransition: "), std::string::npos);
    EXPECT_NE(text.find("\n Non-Animation state: "), std::string::npos);
    EXPECT_EQ(text.find("\n toTransition:"), std::string::npos);
}

} // namespace
} // namespace vtl
