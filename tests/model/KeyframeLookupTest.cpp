#include "model/TimingCurves.h"
#include "support/ModelFixture.h"

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace vtl {
namespace {

using test::ModelFixture;

class KeyframeLookup : public ModelFixture {
protected:
    // Times of the keyframes of a lookup answer.
    static std::vector<double> timesOf(const StateList& states) {
        std::vector<double> times;
        for (const auto& state : states)
            times.push_back(state->time());
        return times;
    }
};

TEST_F(KeyframeLookup, StateForTimeAtTheEdges) {
    auto object = makeObject(10, 12); // duration 2 s
    object->enableAnimations();
    EXPECT_EQ(object->stateForTime(1.0, TimeTolerance::Loose), nullptr) << "no keyframes";
    addKeyframe(*object, 0.5);
    addKeyframe(*object, 1.5);
    struct Case {
        double time;
        TimeTolerance tolerance;
        double expected; // -1: none
    };
    const Case cases[] = {
        {-3.0, TimeTolerance::Loose, 0.5},  // before the start: the first
        {2.5, TimeTolerance::Loose, 1.5},   // after the end: the last
        {0.55, TimeTolerance::Loose, 0.5},  // within 0.1 s
        {0.61, TimeTolerance::Loose, -1},   // beyond 0.1 s
        {0.55, TimeTolerance::Exact, -1},   // outside 0.01 s
        {0.505, TimeTolerance::Exact, 0.5}, // within 0.01 s
        {1.0, TimeTolerance::Loose, -1},
    };
    for (const Case& c : cases) {
        auto found = object->stateForTime(c.time, c.tolerance);
        if (c.expected < 0) {
            EXPECT_EQ(found, nullptr) << "time " << c.time;
        } else {
            ASSERT_NE(found, nullptr) << "time " << c.time;
            EXPECT_DOUBLE_EQ(found->time(), c.expected) << "time " << c.time;
        }
    }
}

TEST_F(KeyframeLookup, BracketingPairAroundATime) {
    auto object = makeObject(0, 2);
    object->enableAnimations();
    EXPECT_TRUE(object->findStatesToInterpolateForTime(1.0).empty()) << "no keyframes";
    addKeyframe(*object, 0);
    addKeyframe(*object, 2);
    struct Case {
        double time;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {1.0, {0, 2}}, {2.005, {2}}, // at a keyframe within the exact tolerance
        {2.05, {2}},                 // after the end
        {-0.5, {0}},                 // before the start
        {0.0, {0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(timesOf(object->findStatesToInterpolateForTime(c.time)), c.expected) << c.time;
}

TEST_F(KeyframeLookup, BracketingSkipsDisabledKeyframes) {
    auto object = makeObject(0, 4);
    object->enableAnimations();
    addKeyframe(*object, 0)->setDisabled(true);
    addKeyframe(*object, 1);
    auto last = addKeyframe(*object, 3);
    last->setDisabled(true);
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTime(2.0)), std::vector<double>{1});
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTime(0.5)), std::vector<double>{1});
    // A disabled keyframe matched exactly still answers.
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTime(3.0)), std::vector<double>{3});

    object->objectInStatesAtIndex(1)->setDisabled(true);
    EXPECT_TRUE(object->findStatesToInterpolateForTime(2.0).empty()) << "all disabled";
    StateList group = object->findStatesToInterpolateForTimeForAttributeGroupNamed(2.0, kGroupOpacity);
    ASSERT_EQ(group.size(), 1u);
    EXPECT_EQ(group.front(), object->noneAnimationState());
}

TEST_F(KeyframeLookup, AnimationOffAnswersTheNoneAnimationState) {
    auto object = makeObject(0, 4);
    addKeyframe(*object, 1);
    StateList found = object->findStatesToInterpolateForTime(1.0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front(), object->noneAnimationState());
}

TEST_F(KeyframeLookup, GroupFormUsesOnlyKeyframesCarryingTheGroup) {
    auto object = makeObject(0, 10);
    object->enableAnimations();
    auto a = addKeyframe(*object, 0);
    a->setRotation(10);
    auto b = addKeyframe(*object, 4); // no rotation
    auto c = addKeyframe(*object, 8);
    c->setRotation(50);
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTimeForAttributeGroupNamed(5.0, kGroupRotation)),
              (std::vector<double>{0, 8}));
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTimeForAttributeGroupNamed(5.0, kGroupOpacity)),
              (std::vector<double>{4, 8}));
    EXPECT_FLOAT_EQ(object->rotationForTime(4.0), 30.0f);
    EXPECT_EQ(object->stateForTimeForAttributeGroupNamed(4.0, TimeTolerance::Loose, kGroupRotation), nullptr);
    EXPECT_EQ(object->stateForTimeForAttributeGroupNamed(8.05, TimeTolerance::Loose, kGroupRotation), c);
}

TEST_F(KeyframeLookup, CanCreateStateOnlyAwayFromKeyframes) {
    auto object = makeObject(0, 4);
    object->enableAnimations();
    EXPECT_TRUE(object->canCreateStateAtTime(1.0));
    addKeyframe(*object, 1.0);
    EXPECT_FALSE(object->canCreateStateAtTime(1.05));
    EXPECT_TRUE(object->canCreateStateAtTime(1.1));
    EXPECT_FALSE(object->canCreateStateAtTime(-1.0)) << "before the start finds the first keyframe";
    EXPECT_FALSE(object->canCreateStateAtTime(9.0)) << "after the end finds the last keyframe";
}

TEST_F(KeyframeLookup, NewKeyframesGoInOrderAndBeforeEqualTimes) {
    auto object = makeObject(0, 10);
    auto late = addKeyframe(*object, 5);
    auto early = addKeyframe(*object, 1);
    auto same = makeModelObject<CompositionRectangularState>(object.get());
    same->setTime(5);
    object->addNewState(same);
    EXPECT_EQ(object->states(), (StateList{early, same, late}));
}

TEST_F(KeyframeLookup, CreateNewStateClampsAndFillsWithTheValuesAtThatTime) {
    auto object = makeObject(10, 14);
    object->enableAnimations();
    auto first = addKeyframe(*object, 0, 0.25f);
    first->setRect(Rect(1, 2, 30, 40));
    auto second = addKeyframe(*object, 4, 0.75f);
    second->setRect(Rect(11, 12, 50, 60));

    auto before = std::dynamic_pointer_cast<CompositionRectangularState>(object->createNewStateForTime(-3));
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(before->time(), 0.0);
    EXPECT_EQ(before->rect(), Rect(1, 2, 30, 40));
    EXPECT_FLOAT_EQ(before->opacity(), 0.25f);
    EXPECT_EQ(object->countOfStates(), 2u) << "the new keyframe is not in the list yet";

    auto middle = std::dynamic_pointer_cast<CompositionRectangularState>(object->createNewStateForTime(2));
    EXPECT_EQ(middle->rect(), Rect(6, 7, 40, 50));
    EXPECT_FLOAT_EQ(middle->opacity(), 0.5f);

    auto after = object->createNewStateForTime(99, NewStateValues::Empty);
    EXPECT_EQ(after->time(), 4.0);
}

TEST_F(KeyframeLookup, BinarySearchOverAList) {
    auto object = makeObject(0, 10);
    StateList list{addKeyframe(*object, 1), addKeyframe(*object, 3), addKeyframe(*object, 5)};
    std::size_t index = 99;
    EXPECT_EQ(CompositionBaseObject::stateAtTime(4, list, &index), list[1]);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(CompositionBaseObject::stateAtTime(0, list, &index), list[0]);
    EXPECT_EQ(CompositionBaseObject::stateAtTime(9, list, &index), list[2]);
    EXPECT_EQ(CompositionBaseObject::stateAtTime(9, {}, &index), nullptr);
    EXPECT_EQ(index, 0u);
}

TEST_F(KeyframeLookup, InterpolationFollowsTheEarlierKeyframesCurve) {
    for (AnimationTimingKind kind : {AnimationTimingKind::Linear, AnimationTimingKind::EaseInOut,
                                     AnimationTimingKind::EaseIn, AnimationTimingKind::EaseOut}) {
        auto object = makeObject(10, 14);
        object->enableAnimations();
        auto first = addKeyframe(*object, 0, 0.0f, kind);
        first->setRect(Rect(0, 0, 100, 100));
        addKeyframe(*object, 4, 1.0f)->setRect(Rect(40, 0, 100, 100));
        for (double fraction : {0.0, 0.25, 0.5, 0.75, 1.0}) {
            const double time = 10 + 4 * fraction;
            const double progress = animationProgressFromFraction(kind, fraction);
            EXPECT_FLOAT_EQ(object->opacityForTime(time), static_cast<float>(progress))
                << "kind " << static_cast<uint32_t>(kind) << " fraction " << fraction;
            EXPECT_NEAR(object->rectForTime(time).origin.x, 40 * progress, 1e-9)
                << "kind " << static_cast<uint32_t>(kind);
        }
    }
}

TEST_F(KeyframeLookup, EffectBracketingStopsAtASegmentEnd) {
    auto object = makeObject(0, 10);
    object->enableAnimations();
    EffectEntry bloom{{"name", PropertyList("CIBloom")}};
    auto a = addKeyframe(*object, 0);
    a->insertObjectInEffectsAtIndex(bloom, 0);
    a->setEffectValuesForEffectNamed(PlistDictionary{}, "CIBloom");
    auto b = addKeyframe(*object, 4);
    b->insertObjectInEffectsAtIndex(bloom, 0);
    addKeyframe(*object, 2); // carries no effect
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTimeForEffectNamed(1, "CIBloom")),
              (std::vector<double>{0, 4}));
    a->setEndMarker(true, "CIBloom");
    EXPECT_EQ(timesOf(object->findStatesToInterpolateForTimeForEffectNamed(1, "CIBloom")),
              (std::vector<double>{4}));
    EXPECT_TRUE(b->startMarkerForAttributeGroupNamed("CIBloom"));
    EXPECT_EQ(object->statesForAttributeGroupNamed("effect_CIBloom"), (StateList{a, b}));
}

} // namespace
} // namespace vtl

namespace vtl {
namespace {

TEST_F(KeyframeLookup, RenderThreadsReadWholeListsWhileTheMainThreadEdits) {
    auto object = makeObject(0, 100);
    object->enableAnimations();
    std::atomic<bool> done{false};
    std::atomic<std::size_t> reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            StateList snapshot = object->states();
            for (std::size_t i = 1; i < snapshot.size(); ++i)
                ASSERT_LE(snapshot[i - 1]->time(), snapshot[i]->time());
            (void)object->findStatesToInterpolateForTime(50.0);
            (void)object->stateForTime(10.0, TimeTolerance::Loose);
            reads.fetch_add(1);
        }
    });
    for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 10; ++i)
            addKeyframe(*object, (round * 7 + i * 13) % 100);
        object->removeAllStates();
    }
    while (reads.load() == 0)
        std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(object->countOfStates(), 0u);
}

// The lookups read keyframe times and disabled flags under the list lock; the main thread changes
// them under the same lock (a race detector shows the difference).
TEST_F(KeyframeLookup, LookupsWhileKeyframesInTheListMoveAndSwitchOff) {
    auto object = makeObject(0, 100);
    object->enableAnimations();
    StateList keyframes;
    for (int i = 0; i < 10; ++i)
        keyframes.push_back(addKeyframe(*object, i * 10 + 5));
    std::atomic<bool> done{false};
    std::atomic<std::size_t> reads{0};
    std::thread reader([&] {
        while (!done.load()) {
            for (double time : {0.0, 33.0, 50.0, 99.0}) {
                const std::size_t found = object->findStatesToInterpolateForTime(time).size();
                EXPECT_TRUE(found == 1 || found == 2) << found << " at " << time;
            }
            (void)object->stateForTime(25.0, TimeTolerance::Loose);
            reads.fetch_add(1);
        }
    });
    for (int round = 0; round < 500; ++round) {
        // Odd keyframes switch off and back on; even ones move a little, keeping their order.
        auto& keyframe = keyframes[static_cast<std::size_t>(round % 10)];
        if (round % 2) {
            keyframe->setDisabled(!keyframe->isDisabled());
        } else {
            keyframe->setTime(keyframe->time() + (round % 4 ? 0.25 : -0.25));
        }
    }
    while (reads.load() == 0)
        std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(object->countOfStates(), 10u);
}

} // namespace
} // namespace vtl
