#include "model/CompositionModelNotifications.h"
#include "model/CompositionShapeState.h"
#include "model/CompositionTextState.h"
#include "model/CompositionTrackState.h"
#include "model/TimingCurves.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/ModelFixture.h"

namespace vtl {
namespace {

using test::ModelFixture;

class KeyframeStates : public ModelFixture {};

TEST_F(KeyframeStates, NewRectangularKeyframeCarriesOpacityAndShadowOnly) {
    auto object = makeObject(0, 10);
    CompositionRectangularState state(object.get());
    EXPECT_FLOAT_EQ(state.opacity(), 1.0f);
    EXPECT_TRUE(state.hasOpacity());
    EXPECT_TRUE(state.hasShadow());
    EXPECT_EQ(state.shadowColor(), RGBAColor::device(0, 0, 0, 1));
    EXPECT_EQ(state.frameColor(), RGBAColor::device(1, 0, 0, 1));
    EXPECT_FALSE(state.hasRectOrScaling());
    EXPECT_FALSE(state.hasRotation());
    EXPECT_FALSE(state.hasFrame());
    EXPECT_EQ(state.xScalingFactor(), 1.0);
    EXPECT_EQ(state.animationTimingKind(), AnimationTimingKind::Linear);
}

TEST_F(KeyframeStates, RectangleSettersIgnoreEmptySizesAndMissingRectangles) {
    auto object = makeObject(0, 10);
    CompositionRectangularState state(object.get());
    state.setXPosition(5);
    EXPECT_FALSE(state.hasRectOrScaling()) << "no rectangle to move";
    state.setRect(Rect(1, 2, 3, 4));
    state.setRect(Rect(9, 9, 0, 4));
    EXPECT_EQ(state.rect(), Rect(1, 2, 3, 4));
    state.setXPosition(7);
    state.moveByPointValue({1, 1});
    EXPECT_EQ(state.rect(), Rect(8, 3, 3, 4));
    state.setXScalingFactor(2);
    EXPECT_EQ(state.scaledRect(), Rect(8, 3, 6, 4));
    state.disableAllAnimationPropertiesExcept(kGroupRectOrScaling);
    EXPECT_TRUE(state.hasRectOrScaling());
    EXPECT_FALSE(state.hasOpacity());
    state.disableAllAnimationProperties();
    EXPECT_FALSE(state.hasRectOrScaling());
}

TEST_F(KeyframeStates, TimeIsClampedExceptOnTrackKeyframes) {
    auto object = makeObject(5, 15);
    CompositionRectangularState rectangular(object.get());
    rectangular.setTime(12);
    EXPECT_EQ(rectangular.time(), 10.0);
    rectangular.setTime(-1);
    EXPECT_EQ(rectangular.time(), 0.0);
    CompositionTrackState track(object.get());
    track.setTime(12);
    EXPECT_EQ(track.time(), 12.0);
}

TEST_F(KeyframeStates, SettingTheTimePostsToTheContainer) {
    auto object = makeObject(0, 10);
    int posts = 0;
    ScopedNotificationObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(kStateChangedTimeNotification, container(),
                                                        [&](const Notification&) { ++posts; }));
    addKeyframe(*object, 1)->setTime(2);
    EXPECT_EQ(posts, 2);
}

TEST_F(KeyframeStates, StarAndBubbleExcludeEachOther) {
    CompositionShapeState shape(nullptr);
    shape.setIsBubble(true);
    shape.setIsStar(true);
    EXPECT_TRUE(shape.isStar());
    EXPECT_FALSE(shape.isBubble());
    shape.setIsBubble(true);
    EXPECT_FALSE(shape.isStar());
    EXPECT_TRUE(shape.isFilled());
    EXPECT_EQ(shape.color(), RGBAColor::device(12 / 255.0, 68 / 255.0, 137 / 255.0, 1.0));
}

TEST_F(KeyframeStates, ScalingAKeyframe) {
    CompositionRectangularState rectangular(nullptr);
    rectangular.setRect(Rect(10, 20, 100, 50));
    rectangular.setShadowRadius(3);
    rectangular.setShadowDistance(4);
    rectangular.scaleStateByFactor(2);
    EXPECT_EQ(rectangular.rect(), Rect(20, 40, 200, 100));
    EXPECT_EQ(rectangular.xScalingFactor(), 2.0);
    EXPECT_EQ(rectangular.yScalingFactor(), 2.0);
    EXPECT_FLOAT_EQ(rectangular.shadowRadius(), 6);
    EXPECT_FLOAT_EQ(rectangular.shadowDistance(), 8);

    CompositionTextState text(nullptr);
    text.setRect(Rect(10, 20, 100, 50));
    text.setShadowRadius(3);
    text.scaleStateByFactor(2);
    EXPECT_EQ(text.rect(), Rect(20, 40, 200, 100));
    EXPECT_EQ(text.xScalingFactor(), 1.0);
    EXPECT_FLOAT_EQ(text.shadowRadius(), 3);
}

TEST_F(KeyframeStates, TrackKeyframeFrameGroupCoversMouseVisualization) {
    CompositionTrackState track(nullptr);
    EXPECT_FALSE(track.hasFrame());
    track.setVisualizesMouseEvents(false);
    EXPECT_TRUE(track.hasFrame());
    EXPECT_EQ(track.playbackSpeed(), 1.0);
}

TEST_F(KeyframeStates, EnablingAGroupTakesTheObjectsValueAtTheKeyframe) {
    auto object = makeObject(10, 20);
    object->enableAnimations();
    addKeyframe(*object, 0)->setRotation(0);
    addKeyframe(*object, 8)->setRotation(80);
    auto middle = addKeyframe(*object, 4);
    ASSERT_FALSE(middle->hasRotation());
    middle->enableAnimationsForAnimationProperty(kGroupRotation);
    EXPECT_EQ(middle->rotationNumber(), 40.0f);
    middle->setRotation(5);
    middle->enableAnimationsForAnimationProperty(kGroupRotation);
    EXPECT_EQ(middle->rotationNumber(), 5.0f) << "a carried group keeps its value";
}

TEST_F(KeyframeStates, CopiesKeepEveryValue) {
    auto object = makeObject(0, 10);
    auto track = makeModelObject<CompositionTrackState>(object.get());
    track->setTime(3);
    track->setAnimationTimingKind(AnimationTimingKind::EaseOut);
    track->setPlaybackSpeed(2.5);
    track->setVisualizesModifiers(true);
    track->setRect(Rect(1, 2, 3, 4));
    track->setRotationNumber(std::nullopt);
    track->setCornerRadius(6);
    track->setDisabled(true);
    track->insertObjectInEffectsAtIndex(EffectEntry{{"name", PropertyList("CIBloom")}}, 0);

    auto copy = std::dynamic_pointer_cast<CompositionTrackState>(track->copy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->className(), "CompositionTrackState");
    EXPECT_EQ(copy->baseObject(), object.get());
    EXPECT_EQ(copy->time(), 3.0);
    EXPECT_EQ(copy->animationTimingKind(), AnimationTimingKind::EaseOut);
    EXPECT_EQ(copy->playbackSpeed(), 2.5);
    EXPECT_TRUE(copy->visualizesModifiers());
    EXPECT_EQ(copy->rectObject(), track->rectObject());
    EXPECT_FALSE(copy->hasRotation());
    EXPECT_EQ(copy->cornerRadiusNumber(), track->cornerRadiusNumber());
    EXPECT_TRUE(copy->isDisabled());
    EXPECT_TRUE(copy->hasEffectNamed("CIBloom"));
    EXPECT_TRUE(copy->visualizesMouseCursorNumber().has_value())
        << "a copy carries both visualization numbers";

    auto shape = makeModelObject<CompositionShapeState>(object.get());
    shape->setIsStar(true);
    shape->setNumberOfCorners(5);
    auto shapeCopy = std::dynamic_pointer_cast<CompositionShapeState>(shape->copy());
    ASSERT_NE(shapeCopy, nullptr);
    EXPECT_TRUE(shapeCopy->isStar());
    EXPECT_EQ(shapeCopy->numberOfCorners(), 5u);
}

} // namespace
} // namespace vtl
