// Object effects: masks confining a filter, active effects and end markers, centre and mask
// conversions, the effect order, unknown filters and the removal of an effect.

#include "objects/PictureObjectFixture.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/imaging/FilterRegistry.h"

#include <functional>
#include <limits>

namespace vtl::test {
namespace {

EffectEntry effectNamed(const std::string& name) {
    return EffectEntry{{"name", PropertyList(name)}};
}

class ObjectEffects : public PictureObjectFixture {
protected:
    CIImage picture() { return object->createImageAtTime(request()); }
};

TEST_F(ObjectEffects, AMaskConfinesTheFilterAndLeavesTheRestBitIdentical) {
    const PixelRegion whole{0, 0, 200, 100};
    const Rendered original = pixelsOf(picture(), whole);
    for (const char* name : {"CIColorInvert", "CIGaussianBlur"}) {
        SCOPED_TRACE(name);
        object = add<PictureObject>(0, 10);
        object->setRect(Rect(0, 0, 200, 100), 0);
        object->addEffectAtTime(effectNamed(name), 1);
        object->setMaskForEffectNamed(Rect(0.25, 0.25, 0.5, 0.5), name, 1);
        bool valid = false, covers = true;
        EXPECT_EQ(object->normalizedMaskEffect(name, 1, &valid, &covers), Rect(50, 25, 100, 50));
        EXPECT_TRUE(valid);
        EXPECT_FALSE(covers);

        const Rendered out = pixelsOf(object->imageWithFiltersAppliedAtTime(1, picture()), whole);
        int changedInside = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) {
                const bool inside = x >= 50 && x < 150 && y >= 25 && y < 75;
                if (!inside) {
                    ASSERT_EQ(out.at(x, y), original.at(x, y)) << x << ", " << y;
                } else if (out.at(x, y) != original.at(x, y)) {
                    ++changedInside;
                }
            }
        EXPECT_GT(changedInside, 100 * 50 / 2);
        if (std::string(name) == "CIColorInvert") {
            const auto p = original.at(60, 30), q = out.at(60, 30);
            EXPECT_EQ(q[0], 255 - p[0]);
            EXPECT_EQ(q[3], 255);
        }
    }
}

TEST_F(ObjectEffects, MasksNearlySpanningTheObjectSpanItAndTheWholeMaskNeedsNoCompositing) {
    object->addEffectAtTime(effectNamed("CIColorInvert"), 1);
    struct Case {
        Rect stored;
        Rect objectSpace;
        bool covers;
    };
    for (const Case& c : {Case{Rect(0.01, 0.5, 0.98, 0.5), Rect(0, 50, 200, 50), false},
                          Case{Rect(0.2, 0.02, 0.5, 0.98), Rect(40, 0, 100, 100), false},
                          Case{Rect(0, 0, 1, 1), Rect(0, 0, 200, 100), true}}) {
        object->setMaskForEffectNamed(c.stored, "CIColorInvert", 1);
        bool covers = !c.covers;
        EXPECT_EQ(object->normalizedMaskEffect("CIColorInvert", 1, nullptr, &covers), c.objectSpace);
        EXPECT_EQ(covers, c.covers);
    }
    const Rendered whole = pixelsOf(object->imageWithFiltersAppliedAtTime(1, picture()));
    EXPECT_EQ(whole.at(0, 0)[0], 255 - pixelsOf(picture()).at(0, 0)[0]);
}

TEST_F(ObjectEffects, EndMarkersSwitchAnEffectOffUntilAKeyframeCarriesItAgain) {
    object->enableAnimations();
    object->addEffectAtTime(effectNamed("CIBloom"), 0);
    object->setFloatForEffectNamed(0.2f, "CIBloom", "inputIntensity", 0);
    object->setEndMarker(true, "CIBloom", 2);
    EXPECT_TRUE(object->endMarkerForEffectNamed("CIBloom", 2));
    struct Case {
        double time;
        bool active;
    };
    for (const Case& c : {Case{0.5, true}, Case{1.999, true}, Case{2.0, false}, Case{2.9, false}}) {
        EXPECT_EQ(object->namesOfActiveEffectsAtTime(c.time).size(), c.active ? 1u : 0u) << c.time;
    }
    object->addEffectAtTime(effectNamed("CIBloom"), 3);
    object->setFloatForEffectNamed(0.9f, "CIBloom", "inputIntensity", 3);
    EXPECT_EQ(object->namesOfActiveEffectsAtTime(2.5).size(), 0u);
    EXPECT_EQ(object->namesOfActiveEffectsAtTime(3).size(), 1u);
    EXPECT_FLOAT_EQ(object->floatForEffectNamed("CIBloom", "inputIntensity", 2.5), 0.9f)
        << "no blending out of the marked keyframe";

    object->addEffectAtTime(effectNamed("CIColorInvert"), 1);
    EXPECT_EQ(object->namesOfActiveEffectsAtTime(0.5), std::vector<std::string>{"CIBloom"})
        << "an effect whose first keyframe is later starts there";
    EXPECT_EQ(object->namesOfActiveEffectsAtTime(1).size(), 2u);
}

TEST_F(ObjectEffects, CentresAndMasksConvertBetweenStoredAndObjectSpace) {
    object->rectInsteadOfScaling = true;
    object->natural = Size{50, 25};
    object->setRect(Rect(0, 0, 100, 50), 0);
    object->addEffectAtTime(effectNamed("CITwirlDistortion"), 1);
    EXPECT_EQ(object->normalizedCenterForEffect("CITwirlDistortion", 1), (Point{100, 50}));
    EXPECT_TRUE(object->setNormalizedEffectCenter(Point{50, 25}, "CITwirlDistortion", 1));
    EXPECT_EQ(object->centerForEffectAtTime("CITwirlDistortion", 1), (Point{0.25, 0.25}));
    EXPECT_TRUE(object->setNormalizedMask(Rect(20, 10, 100, 50), "CITwirlDistortion", 1));
    EXPECT_EQ(object->maskForEffectAtTime("CITwirlDistortion", 1), Rect(0.1, 0.1, 0.5, 0.5));
    EXPECT_EQ(object->normalizedMaskEffectFromRect("CITwirlDistortion", Rect(10, 10, 100, 50), 1),
              Rect(20, 15, 100, 50));

    class ZeroSized : public PictureObject {
    public:
        using PictureObject::PictureObject;
        Rect rectForTime(double) const override { return Rect(); }
    };
    auto zero = add<ZeroSized>(0, 10);
    zero->addEffectAtTime(effectNamed("CITwirlDistortion"), 1);
    const Point before = zero->centerForEffectAtTime("CITwirlDistortion", 1);
    EXPECT_FALSE(zero->setNormalizedEffectCenter(Point{10, 10}, "CITwirlDistortion", 1));
    EXPECT_FALSE(zero->setNormalizedMask(Rect(0, 0, 10, 10), "CITwirlDistortion", 1));
    EXPECT_EQ(zero->centerForEffectAtTime("CITwirlDistortion", 1), before);
}

TEST_F(ObjectEffects, CentreFiltersFollowTheObjectSpaceCentre) {
    object->addEffectAtTime(effectNamed("CITwirlDistortion"), 1);
    object->setFloatForEffectNamed(30, "CITwirlDistortion", "inputRadius", 1);
    auto filter = object->filterWithNameForTime("CITwirlDistortion", 1);
    ASSERT_TRUE(filter);
    EXPECT_EQ(std::get<double>(filter->value("inputRadius")), 30);
    object->setCenterForEffectNamed(Point{0.25, 0.5}, "CITwirlDistortion", 1);
    const Rendered out = pixelsOf(object->imageWithFiltersAppliedAtTime(1, picture()));
    const Rendered in = pixelsOf(picture());
    EXPECT_NE(out.at(52, 52), in.at(52, 52)) << "twisted about (50, 50)";
    EXPECT_EQ(out.at(150, 50), in.at(150, 50)) << "beyond the radius";
}

// Every filter with a centre gets the object's centre in object space, as if set by hand.
TEST_F(ObjectEffects, EveryCentreFilterFollowsTheObjectSpaceCentre) {
    int centreFilters = 0;
    for (const std::string& name : FilterCatalog::standard()->filterNames()) {
        if (!CompositionRectangularObject::effectWithNameHasCenter(name)) continue;
        SCOPED_TRACE(name);
        ++centreFilters;
        object = add<PictureObject>(0, 10);
        object->setRect(Rect(0, 0, 200, 100), 0);
        object->addEffectAtTime(effectNamed(name), 1);
        object->setCenterForEffectNamed(Point{0.25, 0.5}, name, 1);
        std::unique_ptr<CIFilter> byHand = FilterRegistry::shared().filterWithName(name);
        // Objects keep numbers in single precision.
        for (const FilterAttribute& input : byHand->attributes().inputs)
            if (const double* number = std::get_if<double>(&input.defaultValue))
                byHand->setValue(input.name, double(float(*number)));
        byHand->setValue("inputImage", picture());
        byHand->setValue("inputCenter", CIVector{50, 50});
        const PixelRegion region{-20, -20, 240, 140};
        // What the filter spreads beyond the object is cut off at the object's picture.
        EXPECT_EQ(pixelsOf(object->imageWithFiltersAppliedAtTime(1, picture()), region).bytes,
                  pixelsOf(byHand->outputImage().imageByCroppingToRect(picture().extent()), region).bytes);
    }
    EXPECT_GE(centreFilters, 10);
}

// Values a document may hold beyond a filter's range are clamped at render; NaN takes the default.
TEST_F(ObjectEffects, StoredValuesOutsideTheRangeAreClampedAtRender) {
    object->addEffectAtTime(effectNamed("CIPixellate"), 1);
    const FilterAttribute* scale =
        FilterRegistry::shared().attributesOfFilter("CIPixellate")->input("inputScale");
    ASSERT_TRUE(scale && scale->maximum);
    auto drawnWithScale = [&](double value) {
        std::unique_ptr<CIFilter> f = FilterRegistry::shared().filterWithName("CIPixellate");
        f->setValue("inputImage", picture());
        f->setValue("inputScale", value);
        f->setValue("inputCenter", CIVector{100, 50}); // the object's default centre
        return pixelsOf(f->outputImage()).bytes;
    };
    object->noneAnimationState()->replaceEffectValue("CIPixellate", "inputScale", PropertyList(1e9));
    EXPECT_EQ(pixelsOf(object->imageWithFiltersAppliedAtTime(1, picture())).bytes,
              drawnWithScale(*scale->maximum));
    object->noneAnimationState()->replaceEffectValue("CIPixellate", "inputScale",
                                                     PropertyList(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(pixelsOf(object->imageWithFiltersAppliedAtTime(1, picture())).bytes,
              drawnWithScale(std::get<double>(scale->defaultValue)));
}

TEST_F(ObjectEffects, DefaultsAreStoredAsTheModelStoresValues) {
    object->addEffectAtTime(effectNamed("ChromaKey"), 1);
    const PlistDictionary* values = object->noneAnimationState()->effectValuesForEffectNamed("ChromaKey");
    ASSERT_TRUE(values);
    EXPECT_EQ(values->find("inputThreshold")->numberValue(), 0.1);
    EXPECT_EQ(*values->find("inputColor")->stringValue(), "0 1 0 1");
    EXPECT_FALSE(values->contains("inputImage"));
    EXPECT_EQ(object->localizedNameForEffect("CIGaussianBlur"), "Gaussian Blur");
    EXPECT_TRUE(CompositionRectangularObject::effectWithNameHasCenter("CIZoomBlur"));
    EXPECT_FALSE(CompositionRectangularObject::effectWithNameHasCenter("CIColorInvert"));
}

TEST_F(ObjectEffects, AnUnknownFilterIsSkippedAndTheObjectStillDraws) {
    object->noneAnimationState()->addEffect(effectNamed("CINotAFilter"));
    object->noneAnimationState()->addEffect(effectNamed("CIColorInvert"));
    object->recacheNamesOfAllUsedEffects();
    EXPECT_EQ(object->namesOfAllUsedEffects(),
              (std::vector<std::string>{"effect_CINotAFilter", "effect_CIColorInvert"}));
    const std::vector<CIImage> list =
        object->createScaledImagesForTime(request(), BackAndFrontImages::Include);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(pixelsOf(list[0]).at(10, 10)[1], 255 - pixelsOf(picture()).at(10, 10)[1]);
}

TEST_F(ObjectEffects, TheOrderMovesWithinTheListOnly) {
    for (const char* name : {"CIBloom", "CIGloom", "CIColorInvert"})
        object->addEffectAtTime(effectNamed(name), 1);
    settle();
    const std::vector<std::string> start = object->namesOfAllUsedEffects();
    object->moveEffectBy("effect_CIBloom", -1);
    object->moveEffectBy("effect_CIColorInvert", 1);
    object->moveEffectToIndex("effect_CINotThere", 0);
    EXPECT_EQ(object->namesOfAllUsedEffects(), start);
    // The list is derived when a document loads, so undo is checked on the list itself.
    const std::vector<std::string> moved{"effect_CIGloom", "effect_CIColorInvert", "effect_CIBloom"};
    object->moveEffectBy("effect_CIBloom", 2);
    endPass();
    EXPECT_EQ(object->namesOfAllUsedEffects(), moved);
    undoManager().undo();
    EXPECT_EQ(object->namesOfAllUsedEffects(), start);
    undoManager().redo();
    EXPECT_EQ(object->namesOfAllUsedEffects(), moved);
    object->moveEffectToIndex("effect_CIBloom", 0);
    EXPECT_EQ(object->namesOfAllUsedEffects(), start);
}

TEST_F(ObjectEffects, TheUserOrderSurvivesSavingReopeningAndRebuildingTheList) {
    for (const char* name : {"CIBloom", "CIGloom", "CIColorInvert"})
        object->addEffectAtTime(effectNamed(name), 1);
    settle();
    const std::vector<std::string> keyframeOrder = object->namesOfAllUsedEffects();
    auto reopened = [](const std::shared_ptr<PictureObject>& original) {
        auto decoded = KeyedUnarchiver::unarchive<CompositionRectangularObject>(archiveOf(original));
        EXPECT_TRUE(decoded.ok()) << decoded.error();
        return decoded.ok() ? decoded.value() : nullptr;
    };
    // Never reordered: nothing is stored and the keyframes decide, as in older documents.
    auto plain = reopened(object);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->namesOfAllUsedEffects(), keyframeOrder);

    object->moveEffectToIndex("effect_CIColorInvert", 0);
    const std::vector<std::string> userOrder{"effect_CIColorInvert", "effect_CIBloom", "effect_CIGloom"};
    ASSERT_EQ(object->namesOfAllUsedEffects(), userOrder);
    object->recacheNamesOfAllUsedEffects();
    EXPECT_EQ(object->namesOfAllUsedEffects(), userOrder) << "rebuilt from the keyframes";
    auto decoded = reopened(object);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->namesOfAllUsedEffects(), userOrder);
    decoded->recacheNamesOfAllUsedEffects();
    EXPECT_EQ(decoded->namesOfAllUsedEffects(), userOrder) << "as a document does after loading";
    const PlistBytes saved = archiveOf(decoded);
    auto again = KeyedUnarchiver::unarchive<CompositionRectangularObject>(saved);
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_EQ(archiveOf(again.value()), saved) << "a re-save is byte-equal";

    // A later effect goes after those the user placed.
    object->addEffectAtTime(effectNamed("CISepiaTone"), 1);
    EXPECT_EQ(object->namesOfAllUsedEffects().back(), "effect_CISepiaTone");
    EXPECT_EQ(object->namesOfAllUsedEffects().front(), "effect_CIColorInvert");
}

TEST_F(ObjectEffects, RemovalKeepsOtherGroupsAndEffectsAndUndoes) {
    object->enableAnimations();
    object->addEffectAtTime(effectNamed("CIBloom"), 1); // a keyframe of its own
    object->addEffectAtTime(effectNamed("CIBloom"), 3);
    keyframeAt(*object, 3)->setOpacity(0.5f); // the same keyframe carries opacity
    object->addEffectAtTime(effectNamed("CIBloom"), 5);
    object->addEffectAtTime(effectNamed("CIGloom"), 5); // and this one another effect
    settle();
    const std::size_t keyframes = object->countOfStates();
    roundTrip().check("remove", [&] { object->removeEffect("effect_CIBloom"); });
    EXPECT_EQ(object->namesOfAllUsedEffects(), std::vector<std::string>{"effect_CIGloom"});
    ASSERT_EQ(object->countOfStates(), keyframes - 1) << "only the keyframe left with nothing goes";
    for (const auto& state : object->states()) {
        EXPECT_FALSE(state->hasEffectNamed("CIBloom"));
        EXPECT_FALSE(state->effectValuesForEffectNamed("CIBloom"));
    }
    EXPECT_FLOAT_EQ(object->opacityForTime(3), 0.5f);
    EXPECT_TRUE(object->states().back()->hasEffectNamed("CIGloom"));
    undoManager().undo();
    EXPECT_EQ(object->namesOfAllUsedEffects(),
              (std::vector<std::string>{"effect_CIBloom", "effect_CIGloom"}));
    EXPECT_EQ(object->namesOfActiveEffectsAtTime(5).size(), 2u);
}

TEST_F(ObjectEffects, StateAtTimeFindsTheKeyframeInEffect) {
    EXPECT_EQ(object->stateAtTime(1), nullptr);
    object->enableAnimations();
    auto a = addKeyframe(*object, 1), b = addKeyframe(*object, 2), c = addKeyframe(*object, 4);
    struct Case {
        double time;
        std::shared_ptr<CompositionRectangularState> expected;
    };
    for (const Case& k : {Case{1, a}, Case{1.5, a}, Case{2, b}, Case{3.9, b}, Case{4, c}, Case{9, c}})
        EXPECT_EQ(object->stateAtTime(k.time), k.expected) << k.time;
}

} // namespace
} // namespace vtl::test
