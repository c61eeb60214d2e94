#include "ObjectsFixture.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <cmath>
#include <functional>
#include <limits>

namespace vtl {
namespace {

using test::archiveOf;
using test::ObjectsFixture;
using test::SizedObject;

class Attributes : public ObjectsFixture {};

TEST_F(Attributes, NewObjectsStartWithTheDefaultsInTheNoneAnimationState) {
    settle();
    auto object = add(0, 10);
    EXPECT_EQ(object->countOfStates(), 0u);
    EXPECT_EQ(object->rectForTime(3), Rect(0, 0, 1280, 720)) << "the canvas";
    EXPECT_EQ(object->opacityForTime(3), 1.0f);
    EXPECT_EQ(object->rotationForTime(3), 0.0f);
    EXPECT_EQ(object->shadowAngleForTime(3), 180.0f);
    EXPECT_EQ(object->shadowColorForTime(3), CompositionRectangularObject::defaultShadowColor());
    EXPECT_EQ(object->shadowDistanceForTime(3), 5.0f);
    EXPECT_EQ(object->shadowOpacityForTime(3), 0.5f);
    EXPECT_EQ(object->shadowRadiusForTime(3), 5.0f);
    EXPECT_EQ(object->frameColorForTime(3), CompositionRectangularObject::defaultFrameColor());
    EXPECT_EQ(object->frameThicknessForTime(3), 5.0f);
    EXPECT_FALSE(object->drawsFrameAtTime(3));
    EXPECT_FALSE(object->drawsShadowAtTime(3));
    EXPECT_EQ(object->cornerRadiusForTime(3), 0.0f);
    EXPECT_FALSE(object->usesGlobalShadow());
    EXPECT_FALSE(object->timeCantManuallyBeSet());
    EXPECT_TRUE(object->maskObjects().empty());
    EXPECT_TRUE(object->maskForObjects().empty());
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 1u) << "only the insertion is undoable, not the defaults";
}

TEST_F(Attributes, GettersBlendTheBracketingKeyframesOfTheirGroup) {
    auto object = add(10, 20);
    object->enableAnimations();
    struct Case {
        const char* what;
        AnimationTimingKind kind;
        double time; // composition time; keyframes at object times 2 (opacity 0) and 6 (opacity 1)
        float opacity;
    };
    const Case cases[] = {
        {"linear midpoint is the mean", AnimationTimingKind::Linear, 14, 0.5f},
        {"ease in and out at a quarter", AnimationTimingKind::EaseInOut, 13, 0.15625f},
        {"before the first keyframe its value", AnimationTimingKind::Linear, 10.5, 0.0f},
        {"after the last keyframe its value", AnimationTimingKind::Linear, 19, 1.0f},
        {"before the object's start the first", AnimationTimingKind::Linear, 5, 0.0f},
        {"after the object's end the last", AnimationTimingKind::Linear, 25, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        object->removeAllStates();
        addKeyframe(*object, 2, 0.0f, c.kind);
        addKeyframe(*object, 6, 1.0f, AnimationTimingKind::Linear);
        EXPECT_NEAR(object->opacityForTime(c.time), c.opacity, 1e-6);
    }
}

TEST_F(Attributes, AKeyframeOfOneGroupLeavesTheOthersToTheirOwnKeyframes) {
    auto object = add(0, 10);
    object->enableAnimations();
    auto first = object->createNewStateForTime(0, kGroupRectOrScaling);
    static_cast<CompositionRectangularState&>(*first).setRect(Rect(0, 0, 100, 100));
    object->addNewState(first);
    auto opacityOnly = object->createNewStateForTime(2, kGroupOpacity);
    static_cast<CompositionRectangularState&>(*opacityOnly).setOpacity(0.25f);
    object->addNewState(opacityOnly);
    auto last = object->createNewStateForTime(4, kGroupRectOrScaling);
    static_cast<CompositionRectangularState&>(*last).setRect(Rect(40, 0, 100, 100));
    static_cast<CompositionRectangularState&>(*first).setAnimationTimingKind(AnimationTimingKind::Linear);
    object->addNewState(last);

    EXPECT_EQ(object->rectForTime(2).origin.x, 20)
        << "blended between 0 s and 4 s, past the opacity keyframe";
    EXPECT_EQ(object->opacityForTime(1), 0.25f) << "one keyframe of a group holds at every time";
    EXPECT_EQ(object->opacityForTime(9), 0.25f);
    EXPECT_EQ(object->rotationForTime(3), 0.0f) << "a group without keyframes reads the none-animation state";
}

TEST_F(Attributes, SettersEditTheKeyframeWithinATenthOfASecondOrMakeAnEasedOne) {
    struct Case {
        const char* what;
        double offset;
        std::size_t keyframes;
    };
    const Case cases[] = {{"0.05 s away edits it", 0.05, 1}, {"0.15 s away makes a new one", 0.15, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto object = add(10, 20);
        object->enableAnimations();
        object->setOpacity(0.3f, 12);
        ASSERT_EQ(object->countOfStates(), 1u);
        object->setOpacity(0.7f, 12 + c.offset);
        ASSERT_EQ(object->countOfStates(), c.keyframes);
        auto made = std::dynamic_pointer_cast<CompositionRectangularState>(object->states().back());
        EXPECT_EQ(made->opacity(), 0.7f);
        EXPECT_EQ(made->animationTimingKind(), AnimationTimingKind::EaseInOut);
        EXPECT_TRUE(made->hasOpacity());
        EXPECT_FALSE(made->hasRectOrScaling() || made->hasRotation() || made->hasFrame())
            << "a new keyframe carries only its group";
    }
    auto object = add(10, 20);
    object->enableAnimations();
    object->setOpacity(0.3f, 12);
    object->setOpacityForExactTime(0.6f, 12.05);
    EXPECT_EQ(object->countOfStates(), 2u) << "the exact setter looks only 0.01 s around";
}

TEST_F(Attributes, WithAnimationOffEverySetterEditsTheNoneAnimationState) {
    auto object = add<SizedObject>(0, 10);
    const std::vector<std::pair<const char*, std::function<void()>>> setters = {
        {"rect", [&] { object->setRect(Rect(1, 2, 30, 40), 4); }},
        {"x", [&] { object->setXPosition(7, 4); }},
        {"y", [&] { object->setYPosition(8, 4); }},
        {"opacity", [&] { object->setOpacity(0.5f, 4); }},
        {"exact opacity", [&] { object->setOpacityForExactTime(0.4f, 4); }},
        {"rotation", [&] { object->setRotation(30, 4); }},
        {"frame thickness", [&] { object->setFrameThickness(2, 4); }},
        {"frame colour", [&] { object->setFrameColor(RGBAColor::device(0, 1, 0), 4); }},
        {"draws frame", [&] { object->setDrawsFrame(true, 4); }},
        {"shadow colour", [&] { object->setShadowColor(RGBAColor::device(0, 0, 1), 4); }},
        {"shadow opacity", [&] { object->setShadowOpacity(0.2f, 4); }},
        {"shadow radius", [&] { object->setShadowRadius(9, 4); }},
        {"shadow distance", [&] { object->setShadowDistance(3, 4); }},
        {"shadow angle", [&] { object->setShadowAngle(45, 4); }},
        {"draws shadow", [&] { object->setDrawsShadow(true, 4); }},
        {"corner radius", [&] { object->setCornerRadius(4, 4); }},
        {"scaling", [&] { object->setScalingFactor(2, 4); }},
        {"ratio", [&] { object->setRatio(2, 4); }},
    };
    for (const auto& [what, set] : setters) {
        SCOPED_TRACE(what);
        set();
        EXPECT_EQ(object->countOfStates(), 0u);
    }
    EXPECT_EQ(object->opacityForTime(0), 0.4f);
    EXPECT_EQ(object->rotationForTime(0), 30.0f);
    EXPECT_TRUE(object->drawsShadowAtTime(0));
    EXPECT_EQ(object->shadowAngleForTime(9), 45.0f);
}

TEST_F(Attributes, ValuesThatAreNotFiniteAreRefusedAndChangeNothing) {
    auto object = add<SizedObject>(0, 10);
    object->enableAnimations();
    object->setOpacity(0.5f, 2);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<const char*, std::function<void()>>> refused = {
        {"rect", [&] { object->setRect(Rect(nan, 0, 10, 10), 2); }},
        {"rect size", [&] { object->setRect(Rect(0, 0, inf, 10), 2); }},
        {"time", [&] { object->setOpacity(0.1f, nan); }},
        {"x", [&] { object->setXPosition(inf, 2); }},
        {"opacity", [&] { object->setOpacity(std::nanf(""), 2); }},
        {"rotation", [&] { object->setRotation(inf, 2); }},
        {"scaling", [&] { object->setScalingFactor(nan, 2); }},
        {"x scaling", [&] { object->setXScalingFactor(inf, 2); }},
        {"shadow radius", [&] { object->setShadowRadius(inf, 2); }},
        {"shadow colour", [&] { object->setShadowColor(RGBAColor::device(nan, 0, 0), 2); }},
        {"corner radius", [&] { object->setCornerRadius(std::nanf(""), 2); }},
        {"alignment value", [&] { object->alignWithValueAtTime(ArrangeCriterion::LeftEdges, inf, 2); }},
        {"move", [&] { object->increaseXBy(inf, 2); }},
    };
    for (const auto& [what, set] : refused) {
        SCOPED_TRACE(what);
        const PlistBytes before = archiveOf(object);
        set();
        EXPECT_EQ(archiveOf(object), before);
    }
    const Rect rect(1, 2, 30, 40);
    EXPECT_EQ(object->rectForResizeWithHandle(2, Size{nan, 1}, ResizeProportion::Free, rect), rect)
        << "a handle delta that is not finite leaves the rectangle";
}

TEST_F(Attributes, TheGlobalShadowReplacesTheShadowValuesButNotTheSwitch) {
    auto object = add(0, 10);
    object->enableAnimations();
    object->setShadowRadius(2, 1);
    object->setShadowRadius(8, 5);
    object->setDrawsShadow(true, 5);
    object->setUsesGlobalShadow(true);
    container()->setGlobalShadowRadius(12);
    container()->setGlobalShadowAngle(30);
    for (double time : {0.0, 1.0, 3.0, 5.0, 9.0}) {
        SCOPED_TRACE(time);
        EXPECT_EQ(object->shadowRadiusForTime(time), 12.0f);
        EXPECT_EQ(object->shadowAngleForTime(time), 30.0f);
        EXPECT_EQ(object->shadowColorForTime(time), container()->globalShadowColor());
    }
    EXPECT_FALSE(object->drawsShadowAtTime(0)) << "the switch still follows the keyframes";
    EXPECT_TRUE(object->drawsShadowAtTime(9));
    object->setUsesGlobalShadow(false);
    EXPECT_EQ(object->shadowRadiusForTime(9), 8.0f);
}

TEST_F(Attributes, CornerRadiusIsLimitedByHalfTheScaledSides) {
    struct Case {
        Size natural;
        Rect rect;
        float radius;
        float expected;
    };
    const Case cases[] = {
        {{0, 0}, Rect(0, 0, 60, 40), 100, 20},
        {{0, 0}, Rect(0, 0, 60, 40), 10, 10},
        {{30, 40}, Rect(0, 0, 60, 40), 100, 20}, // x scaling 2, y scaling 1
        {{60, 80}, Rect(0, 0, 60, 40), 100, 10}, // y scaling 0.5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        auto object = add<SizedObject>(0, 10);
        object->natural = c.natural;
        object->setRect(c.rect, 0);
        object->setCornerRadius(c.radius, 0);
        EXPECT_EQ(object->cornerRadiusForTime(0), c.expected);
    }
}

TEST_F(Attributes, ScalingFollowsTheRectangleAndTheNaturalSize) {
    auto object = add<SizedObject>(0, 10);
    object->setRect(Rect(0, 0, 400, 50), 0);
    EXPECT_EQ(object->xScalingFactorForTime(0), 2.0);
    EXPECT_EQ(object->yScalingFactorForTime(0), 0.5);
    EXPECT_EQ(object->ratioForTime(0), 0.25);

    object->setRect(Rect(0, 0, 200, 200), 0); // x 1, y 2
    object->setScalingFactor(0.05, 0);
    EXPECT_NEAR(object->xScalingFactorForTime(0), 0.1, 1e-6) << "raised to the floor";
    EXPECT_NEAR(object->ratioForTime(0), 2.0, 1e-6) << "the ratio is kept";
    EXPECT_NEAR(object->rectForTime(0).midX(), 100, 1e-4) << "about the centre";

    object->setXScalingFactor(3, 0);
    EXPECT_NEAR(object->rectForTime(0).size.width, 600, 1e-4);
    EXPECT_NEAR(object->rectForTime(0).midX(), 100, 1e-4);

    object->natural = Size{0, 0};
    object->setRect(Rect(5, 5, 70, 30), 0);
    EXPECT_EQ(object->xScalingFactorForTime(0), 1.0) << "no natural size reads 1";
    EXPECT_EQ(object->yScalingFactorForTime(0), 1.0);
    object->setScalingFactor(4, 0);
    object->scaleToFitInCanvas();
    EXPECT_EQ(object->rectForTime(0), Rect(5, 5, 70, 30)) << "nothing to scale by without a natural size";
}

TEST_F(Attributes, TransformsTurnClockwiseAboutTheCentreAfterScalingAboutTheOrigin) {
    auto object = add(0, 10);
    const Rect rect(10, 20, 100, 50);
    EXPECT_FALSE(object->compositingTransformWithRect(rect, 1)) << "no rotation, no transform";
    EXPECT_FALSE(object->rotateAndScaleAtTime(1, rect));
    EXPECT_FALSE(object->handleTransformAtTime(1, rect));
    ASSERT_TRUE(object->rotateAndScaleAtTime(1, rect, 2, 3)) << "scaling alone is a transform";

    object->setRotation(90, 0);
    struct Case {
        const char* what;
        std::optional<AffineTransform> transform;
        Point from;
        Point to;
    };
    const Case cases[] = {
        {"compositing: lower left goes to upper left",
         object->compositingTransformWithRect(rect, 1),
         {10, 20},
         {35, 95}},
        {"compositing: centre stays", object->compositingTransformWithRect(rect, 1), {60, 45}, {60, 45}},
        {"handles: upper right goes to lower right",
         object->handleTransformAtTime(1, rect),
         {110, 70},
         {85, -5}},
        {"scaled 2 × 3 about the origin, then turned",
         object->rotateAndScaleAtTime(1, rect, 2, 3),
         {10, 20},
         {45, 235}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.transform);
        const Point p = c.transform->apply(c.from);
        EXPECT_NEAR(p.x, c.to.x, 1e-9);
        EXPECT_NEAR(p.y, c.to.y, 1e-9);
    }
}

TEST_F(Attributes, FillingAKeyframeCopiesEveryValueTheObjectShows) {
    auto object = add<SizedObject>(0, 10);
    object->enableAnimations();
    object->setRect(Rect(0, 0, 200, 100), 0);
    object->setRect(Rect(100, 0, 400, 100), 4);
    object->setShadowRadius(6, 0);
    object->setFrameColor(RGBAColor::device(0, 0, 1), 0);
    auto state = object->newStateOfStateClass();
    object->fillStateWithInterpolatedValuesForTime(*state, 2);
    auto& filled = static_cast<CompositionRectangularState&>(*state);
    EXPECT_EQ(filled.time(), 2);
    EXPECT_EQ(filled.rect(), object->rectForTime(2));
    EXPECT_EQ(filled.xScalingFactor(), object->xScalingFactorForTime(2));
    EXPECT_EQ(filled.shadowRadius(), 6.0f);
    EXPECT_EQ(filled.frameColor(), RGBAColor::device(0, 0, 1));

    auto made = object->createNewStateForTime(2, kGroupOpacity, NewStateValues::Interpolated);
    auto& grouped = static_cast<CompositionRectangularState&>(*made);
    EXPECT_FALSE(grouped.hasRectOrScaling()) << "a new keyframe keeps only the named group";
    EXPECT_TRUE(grouped.hasOpacity());
    EXPECT_EQ(grouped.shadowRadius(), 6.0f) << "with the values filled in";
}

TEST_F(Attributes, EverySetterIsOneUndoStep) {
    auto object = add<SizedObject>(0, 10);
    auto animated = add<SizedObject>(0, 10);
    animated->enableAnimations();
    animated->setOpacity(0.5f, 2);
    settle();
    auto check = roundTrip();
    for (auto* target : {object.get(), animated.get()}) {
        SCOPED_TRACE(target == object.get() ? "animation off" : "animation on");
        for (double time : {2.0, 7.0}) {
            SCOPED_TRACE(time);
            check.check("rect", [&] { target->setRect(Rect(1, 2, 30, 40 + time), time); });
            check.check("x", [&] { target->setXPosition(70 + time, time); });
            check.check("y", [&] { target->setYPosition(80 + time, time); });
            check.check("opacity", [&] { target->setOpacity(0.25f + time / 100, time); });
            check.check("exact opacity", [&] { target->setOpacityForExactTime(0.125f + time / 100, time); });
            check.check("rotation", [&] { target->setRotation(30 + time, time); });
            check.check("frame thickness", [&] { target->setFrameThickness(2 + time, time); });
            check.check("frame colour",
                        [&] { target->setFrameColor(RGBAColor::device(0, 1, time / 10), time); });
            check.check("draws frame", [&] { target->setDrawsFrame(!target->drawsFrameAtTime(time), time); });
            check.check("shadow colour",
                        [&] { target->setShadowColor(RGBAColor::device(0, 0, time / 10), time); });
            check.check("shadow opacity", [&] { target->setShadowOpacity(0.25f + time / 100, time); });
            check.check("shadow radius", [&] { target->setShadowRadius(9 + time, time); });
            check.check("shadow distance", [&] { target->setShadowDistance(3.5f + time, time); });
            check.check("shadow angle", [&] { target->setShadowAngle(45 + time, time); });
            check.check("draws shadow",
                        [&] { target->setDrawsShadow(!target->drawsShadowAtTime(time), time); });
            check.check("corner radius", [&] { target->setCornerRadius(4 + time, time); });
            check.check("scaling", [&] { target->setScalingFactor(1.5 + time, time); });
            check.check("x scaling", [&] { target->setXScalingFactor(0.5 + time, time); });
            check.check("y scaling", [&] { target->setYScalingFactor(0.75 + time, time); });
            check.check("ratio", [&] { target->setRatio(1.25 + time / 10, time); });
            check.check("increase x", [&] { target->increaseXBy(3, time); });
            check.check("increase y", [&] { target->increaseYBy(-3, time); });
        }
        check.check("global shadow", [&] { target->setUsesGlobalShadow(!target->usesGlobalShadow()); });
        check.check("revert", [&] { target->revertAtTime(3); });
    }
}

} // namespace
} // namespace vtl
