#include "model/CompositionShapeState.h"
#include "model/CompositionTrackState.h"
#include "model/VistrelLanguage.h"
#include "support/ModelFixture.h"
#include "support/UndoRoundTrip.h"

#include <functional>
#include <string>
#include <vector>

namespace vtl {
namespace {

using test::ModelFixture;
using test::UndoRoundTrip;

// One object with a keyframe of each rectangular class, and a second object to refer to.
class UndoableKeyPaths : public ModelFixture {
protected:
    void SetUp() override {
        object = makeObject(10, 20);
        object->setName("Clip");
        object->enableAnimations();
        rectangular = addKeyframe(*object, 2);
        shape = makeModelObject<CompositionShapeState>(object.get());
        shape->setTime(4);
        object->addNewState(shape);
        track = makeModelObject<CompositionTrackState>(object.get());
        track->setTime(6);
        object->addNewState(track);
        other = makeObject(0, 30);
        settle();
    }

    struct Case {
        std::string keyPath;
        std::function<void()> operation;
    };

    void checkAll(const std::vector<Case>& cases) {
        UndoRoundTrip roundTrip(undoManager(), object);
        for (const Case& c : cases)
            roundTrip.check(c.keyPath, c.operation);
    }

    std::shared_ptr<CompositionRectangularObject> object, other;
    std::shared_ptr<CompositionRectangularState> rectangular;
    std::shared_ptr<CompositionShapeState> shape;
    std::shared_ptr<CompositionTrackState> track;
};

TEST_F(UndoableKeyPaths, TimelineObjectKeys) {
    checkAll({
        {"startTime", [&] { object->setStartTime(12); }},
        {"endTime", [&] { object->setEndTime(25); }},
        {"startTime and endTime together", [&] { object->setStartTimeEndTime(1, 3); }},
        {"snapStartTime", [&] { object->setSnapStartTime(5); }},
        {"moved in time", [&] { object->moveSnapStartTimeByTimeValue(1.5); }},
        {"owningTrack", [&] { object->setOwningTrack(other); }},
        {"dependentTracks insert", [&] { object->addDependentTrack(makeObject(0, 1)); }},
        {"dependentTracks remove", [&] { object->removeAllDependentTracks(); }},
        {"triggeredStates insert",
         [&] {
             object->insertObjectInTriggeredStatesAtIndex(
                 makeModelObject<CompositionBaseTriggeredState>(1, 2), 0);
         }},
        {"triggeredStates remove", [&] { object->removeObjectFromTriggeredStatesAtIndex(0); }},
        {"states insert", [&] { object->addNewState(object->createNewStateForTime(3)); }},
        {"states remove", [&] { object->removeState(shape); }},
        {"states remove all", [&] { object->removeAllStates(); }},
        {"states replaced", [&] { object->setStates({rectangular}); }},
        {"animationEnabled", [&] { object->disableAnimations(); }},
        {"name", [&] { object->setName("Renamed"); }},
        {"containerTrack", [&] { object->setContainerTrack(container()->trackByNumber(2)); }},
        {"languageScript",
         [&] { object->setVistrelLanguage(VistrelLanguage::languageWithLanguageScript(2)); }},
        {"keyframes shifted", [&] { object->shiftAllStatesBy(1.25); }},
    });
}

TEST_F(UndoableKeyPaths, KeyframeKeys) {
    checkAll({
        {"time", [&] { rectangular->setTime(3.5); }},
        {"effectValues",
         [&] {
             rectangular->setEffectValues(
                 PlistDictionary{{"CIBloom", PropertyList::dictionary({{"inputRadius", 3.0}})}});
         }},
        {"disabled", [&] { rectangular->setDisabled(true); }},
        {"baseObject", [&] { rectangular->setBaseObject(other.get()); }},
        {"effects insert",
         [&] {
             rectangular->insertObjectInEffectsAtIndex(EffectEntry{{"name", PropertyList("CIBloom")}}, 0);
         }},
        {"effects remove", [&] { rectangular->removeObjectFromEffectsAtIndex(0); }},
        {"effects replaced",
         [&] {
             rectangular->setEffects({EffectEntry{{"name", PropertyList("CIGloom")}}});
         }},
        {"animationTimingKind", [&] { rectangular->setAnimationTimingKind(AnimationTimingKind::EaseIn); }},
        {"xScalingFactor", [&] { rectangular->setXScalingFactor(1.5); }},
        {"yScalingFactor", [&] { rectangular->setYScalingFactor(0.5); }},
        {"rect", [&] { rectangular->setRect(Rect(1, 2, 3, 4)); }},
        {"opacity", [&] { rectangular->setOpacity(0.25f); }},
        {"rotation", [&] { rectangular->setRotation(45); }},
        {"frameThickness", [&] { rectangular->setFrameThickness(2); }},
        {"frameColor", [&] { rectangular->setFrameColor(RGBAColor::device(0, 0, 1)); }},
        {"shadowColor", [&] { rectangular->setShadowColor(std::nullopt); }},
        {"shadowOpacity", [&] { rectangular->setShadowOpacity(0.5f); }},
        {"shadowRadius", [&] { rectangular->setShadowRadius(4); }},
        {"shadowAngle", [&] { rectangular->setShadowAngle(30); }},
        {"shadowDistance", [&] { rectangular->setShadowDistance(6); }},
        {"cornerRadius", [&] { rectangular->setCornerRadius(8); }},
        {"drawsFrame", [&] { rectangular->setDrawsFrame(true); }},
        {"drawsShadow", [&] { rectangular->setDrawsShadow(true); }},
        {"drawsBackground", [&] { rectangular->setDrawsBackground(true); }},
        {"backgroundColor", [&] { rectangular->setBackgroundColor(RGBAColor::device(1, 1, 0, 0.5)); }},
        {"rectObject", [&] { rectangular->setRectObject(std::nullopt); }},
        {"opacityNumber", [&] { rectangular->setOpacityNumber(std::nullopt); }},
        {"rotationNumber", [&] { rectangular->setRotationNumber(std::nullopt); }},
        {"frameThicknessNumber", [&] { rectangular->setFrameThicknessNumber(std::nullopt); }},
        {"scaled",
         [&] {
             rectangular->setRect(Rect(0, 0, 10, 10));
             rectangular->scaleStateByFactor(3);
         }},
        {"groups removed", [&] { rectangular->disableAllAnimationProperties(); }},
    });
}

TEST_F(UndoableKeyPaths, ShapeAndTrackKeyframeKeys) {
    checkAll({
        {"color", [&] { shape->setColor(RGBAColor::device(0.5, 0.5, 0.5)); }},
        {"numberOfCorners", [&] { shape->setNumberOfCorners(6); }},
        {"isStar", [&] { shape->setIsStar(true); }},
        {"isBubble", [&] { shape->setIsBubble(true); }},
        {"isFilled", [&] { shape->setFilled(false); }},
        {"rayInset", [&] { shape->setRayInset(0.3); }},
        {"visualizesMouseCursor", [&] { track->setVisualizesMouseCursor(true); }},
        {"mouseCursorKind", [&] { track->setMouseCursorKind(MouseCursorKind::BlackDot); }},
        {"visualizesModifiers", [&] { track->setVisualizesModifiers(true); }},
        {"visualizesMouseEvents", [&] { track->setVisualizesMouseEvents(true); }},
        {"playsSoundForMouseClicks", [&] { track->setPlaysSoundForMouseClicks(true); }},
        {"playbackSpeed", [&] { track->setPlaybackSpeed(2); }},
        {"track time beyond the end", [&] { track->setTime(15); }},
    });
}

TEST_F(UndoableKeyPaths, DeletionIsUndoneByAwakening) {
    int awakenings = 0;
    struct Watch : CompositionRectangularObject {
        using CompositionRectangularObject::CompositionRectangularObject;
        void awakeAfterUndelete() override {
            ++*count;
            CompositionRectangularObject::awakeAfterUndelete();
        }
        int* count = nullptr;
    };
    auto watched = makeModelObject<Watch>(container());
    watched->count = &awakenings;
    settle();
    watched->prepareForDeletion();
    endPass();
    undoManager().undo();
    EXPECT_EQ(awakenings, 1);
}

} // namespace
} // namespace vtl
