#include "model/CompositionModelNotifications.h"
#include "model/EffectFilterDescriptions.h"
#include "model/TimingCurves.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "render/FilterCatalog.h"
#include "support/ModelFixture.h"
#include "support/UndoRoundTrip.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

EffectEntry effect(const std::string& name, bool audio = false) {
    EffectEntry entry{{"name", PropertyList(name)}};
    if (audio) entry.set("audio", PropertyList(true));
    return entry;
}

std::vector<std::string> namesOf(const CompositionBaseState& state) {
    std::vector<std::string> names;
    for (const auto& entry : state.effects())
        names.push_back(*entry.find("name")->stringValue());
    return names;
}

class Effects : public test::ModelFixture {
protected:
    void SetUp() override {
        installFilterDescriptionCatalog(FilterCatalog::standard());
        object = makeObject(10, 20);
        container()->addObject(object);
        object->enableAnimations();
    }

    // A keyframe at the object time carrying "CIBloom" with the given intensity.
    std::shared_ptr<CompositionRectangularState>
    bloomKeyframe(double time, float intensity, AnimationTimingKind kind = AnimationTimingKind::Linear) {
        auto state = addKeyframe(*object, time, 1.0f, kind);
        state->addEffect(effect("CIBloom"));
        state->setEmptyEffectValuesForEffectNamed("CIBloom");
        state->setFloatForEffectNamed(intensity, "CIBloom", "inputIntensity");
        return state;
    }

    std::shared_ptr<CompositionRectangularObject> object;
};

TEST_F(Effects, ValuesAreInterpolatedAlongTheEarlierKeyframesCurve) {
    auto first = bloomKeyframe(0, 0);
    bloomKeyframe(2, 1);
    EXPECT_FLOAT_EQ(object->floatForEffectNamed("CIBloom", "inputIntensity", 11), 0.5f);
    first->setAnimationTimingKind(AnimationTimingKind::EaseInOut);
    EXPECT_FLOAT_EQ(object->floatForEffectNamed("CIBloom", "inputIntensity", 11), 0.5f);
    EXPECT_FLOAT_EQ(object->floatForEffectNamed("CIBloom", "inputIntensity", 10.5), 0.15625f);
    EXPECT_FLOAT_EQ(object->floatForEffectNamed("CIBloom", "inputIntensity", 25), 1.0f) << "after the end";
}

TEST_F(Effects, MissingValuesComeFromTheFirstKeyframeThenTheFilter) {
    auto first = bloomKeyframe(0, 0.25f);
    auto second = addKeyframe(*object, 2);
    second->addEffect(effect("CIBloom"));
    EXPECT_FLOAT_EQ(second->floatForEffectName("CIBloom", "inputIntensity"), 0.25f);
    EXPECT_FLOAT_EQ(second->floatForEffectName("CIBloom", "inputRadius"), 10.0f) << "the filter default";
    EXPECT_FLOAT_EQ(first->floatForEffectName("CIBloom", "inputRadius"), 10.0f);
    EXPECT_EQ(object->noneAnimationState()->colorForEffectName("ChromaKey", "inputColor"),
              (RGBAColor{0, 1, 0, 1, true}));
}

TEST_F(Effects, MaskIsClampedIntoTheFrame) {
    auto state = bloomKeyframe(0, 0);
    struct Case {
        const char* what;
        Rect requested;
        bool stored;
        Rect expected;
    };
    const Case cases[] = {
        {"negative origin and overhang", {-0.2, 0.5, 0.5, 0.7}, true, {0, 0.5, 0.5, 0.5}},
        {"too narrow", {0.1, 0.1, 0.04, 0.5}, false, {}},
        {"inside", {0.25, 0.25, 0.5, 0.5}, true, {0.25, 0.25, 0.5, 0.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state->setEmptyEffectValuesForEffectNamed("CIBloom");
        state->setMaskForEffectNamed(c.requested, "CIBloom");
        bool valid = false;
        const Rect mask = state->maskForEffectNamed("CIBloom", &valid);
        EXPECT_EQ(valid, c.stored);
        if (!c.stored) continue;
        EXPECT_NEAR(mask.origin.x, c.expected.origin.x, 1e-7);
        EXPECT_NEAR(mask.origin.y, c.expected.origin.y, 1e-7);
        EXPECT_NEAR(mask.size.width, c.expected.size.width, 1e-7);
        EXPECT_NEAR(mask.size.height, c.expected.size.height, 1e-7);
    }
    state->setMaskForEffectNamed({0, 0, 1, 1}, "CIBloom");
    EXPECT_FALSE(state->hasMaskForEffectNamed("CIBloom")) << "the whole frame counts as no mask";
}

TEST_F(Effects, AddingAndOrderingEffects) {
    EXPECT_FALSE(object->canAddEffectAtTime(effect("CIEqualizer", true), 10)) << "audio effects are refused";
    EXPECT_TRUE(object->canAddEffectAtTime(effect("CIBloom"), 10));
    object->addEffectAtTime(effect("CIBloom"), 15);
    EXPECT_FALSE(object->canAddEffectAtTime(effect("CIBloom"), 18)) << "one use per object";
    ASSERT_EQ(object->countOfStates(), 1u);
    auto state = object->objectInStatesAtIndex(0);
    EXPECT_DOUBLE_EQ(state->time(), 5);
    EXPECT_EQ(namesOf(*state), std::vector<std::string>{"CIBloom"});
    object->addEffectAtTime(effect("CIBloom"), 15.05);
    EXPECT_EQ(state->countOfEffects(), 1u) << "a second add does not duplicate the entry";

    state->addEffect(effect("CIGloom"));
    state->addEffect(effect("CIVignette"));
    state->moveEffect("effect_CIBloom", 2);
    EXPECT_EQ(namesOf(*state), (std::vector<std::string>{"CIGloom", "CIVignette", "CIBloom"}));
    state->moveEffect("effect_CIMissing", 0); // logged, nothing changes
    state->removeEffectNamed("effect_CIGloom");
    EXPECT_EQ(namesOf(*state), (std::vector<std::string>{"CIVignette", "CIBloom"}));
    EXPECT_EQ(object->namesOfAllUsedEffects(), std::vector<std::string>{"effect_CIBloom"});
}

TEST_F(Effects, KeyframingAValueCreatesAKeyframeForTheEffect) {
    bloomKeyframe(0, 0);
    object->noneAnimationState()->addEffect(effect("CIBloom"));
    object->noneAnimationState()->setEmptyEffectValuesForEffectNamed("CIBloom");
    object->setFloatForEffectNamed(0.75f, "CIBloom", "inputIntensity", 14);
    ASSERT_EQ(object->countOfStates(), 2u);
    auto created = object->objectInStatesAtIndex(1);
    EXPECT_DOUBLE_EQ(created->time(), 4);
    EXPECT_EQ(namesOf(*created), std::vector<std::string>{"CIBloom"});
    EXPECT_FLOAT_EQ(created->floatForEffectName("CIBloom", "inputIntensity"), 0.75f);
    EXPECT_FLOAT_EQ(object->noneAnimationState()->floatForEffectName("CIBloom", "inputIntensity"), 0.75f)
        << "the value survives switching animation off";
    object->setFloatForEffectNamed(0.5f, "CIBloom", "inputIntensity", 14.05);
    EXPECT_EQ(object->countOfStates(), 2u) << "a keyframe within 0.1 s takes the value";
    EXPECT_FLOAT_EQ(created->floatForEffectName("CIBloom", "inputIntensity"), 0.5f);
}

TEST_F(Effects, KeyframingAValueNamesTheChangedObjectInEveryPost) {
    bloomKeyframe(0, 0);
    int posts = 0, withoutObject = 0;
    ScopedNotificationObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(
            kObjectChangedNotification, container(), [&](const Notification& note) {
                ++posts;
                auto* changed =
                    note.value<std::shared_ptr<CompositionBaseObject>>(kCompositionChangedObjectKey);
                if (!changed || changed->get() != object.get()) ++withoutObject;
            }));
    object->setFloatForEffectNamed(0.4f, "CIBloom", "inputIntensity", 10); // the existing keyframe
    object->setFloatForEffectNamed(0.6f, "CIBloom", "inputIntensity", 15); // a new keyframe
    EXPECT_GT(posts, 0);
    EXPECT_EQ(withoutObject, 0) << "every \"objectChanged\" names its object under \"changedObject\"";
}

TEST_F(Effects, EffectChangesAreUndoneToTheSameArchive) {
    auto state = bloomKeyframe(0, 0);
    state->addEffect(effect("CIGloom"));
    settle();
    test::UndoRoundTrip roundTrip(undoManager(), document.objectsContainer());
    roundTrip.check("add at a new time", [&] { object->addEffectAtTime(effect("CIVignette"), 18); });
    roundTrip.check("keyframed value",
                    [&] { object->setFloatForEffectNamed(0.3f, "CIBloom", "inputIntensity", 16); });
    roundTrip.check("value of a keyframe",
                    [&] { state->setFloatForEffectNamed(0.9f, "CIBloom", "inputRadius"); });
    roundTrip.check("mask", [&] { state->setMaskForEffectNamed({0.1, 0.1, 0.5, 0.5}, "CIBloom"); });
    roundTrip.check("centre", [&] { state->setCenterForEffectNamed({0.2, 0.7}, "CIBloom"); });
    roundTrip.check("move", [&] { state->moveEffect("effect_CIBloom", 1); });
    roundTrip.check("remove", [&] { state->removeEffectNamed("effect_CIGloom"); });
}

TEST_F(Effects, UnknownFiltersAreSkippedNotFatal) {
    const int failuresBefore = assertionFailureCount();
    EXPECT_EQ(CompositionBaseObject::filterWithName("CIRetiredFilter"), nullptr);
    EXPECT_TRUE(CompositionBaseObject::floatAttributeNamesForFilterWithName("CIRetiredFilter").empty());
    auto state = bloomKeyframe(0, 0);
    state->addEffect(effect("CIRetiredFilter"));
    state->setEmptyEffectValuesForEffectNamed("CIRetiredFilter");
    state->setFloatForEffectNamed(3, "CIRetiredFilter", "inputAmount");
    auto filled = object->createNewStateForTime(1);
    EXPECT_TRUE(filled->hasEffectNamed("CIRetiredFilter"));
    EXPECT_EQ(assertionFailureCount(), failuresBefore);
}

TEST_F(Effects, FilterAttributesAndInspectorPanes) {
    EXPECT_EQ(CompositionBaseObject::floatAttributeNamesForFilterWithName("CIColorControls"),
              (std::vector<std::string>{"inputBrightness", "inputContrast", "inputSaturation"}));
    EXPECT_EQ(CompositionBaseObject::floatAttributeNamesForFilterWithName("CIBloom",
                                                                          AttributeNaming::PreferLocalized),
              (std::vector<std::string>{"Intensity", "Radius"}));
    struct Case {
        const char* effect;
        const char* nib;
        const char* controller;
    };
    const Case cases[] = {
        {"CIBloom", "SimpleEffectTwoValues", "SimpleEffectTwoValuesViewController"},
        {"CIColorControls", "SimpleEffectThreeValues", "SimpleEffectThreeValuesViewController"},
        {"CIColorInvert", "SimpleEffectNoValues", "EffectGroupViewController"},
        {"ChromaKey", "ChromaKeySettings", "ChromaKeySettingsViewController"},
        {"CIGaussianBlur", "SimpleEffectOneValue", "SimpleEffectOneValueViewController"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompositionBaseObject::nibNameForEffectNamed(c.effect), c.nib);
        EXPECT_EQ(CompositionBaseObject::classNameForPropertyInspectorForEffectNamed(c.effect), c.controller);
    }
}

} // namespace
} // namespace vtl
